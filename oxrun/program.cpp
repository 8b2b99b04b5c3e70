#include "oxrun/program.hpp"

#include <algorithm>
#include <array>

#include "format/module_format.hpp"
#include "oxdump/printer.hpp"
#include "oxrun/expression.hpp"
#include "symbols/host_tables.hpp"

namespace oxrun {

namespace {

using namespace oxbuild;
using oxdump::Instruction;
using oxdump::VariableRef;

// The highest slot used, plus one, per type class: the storage a function
// (or the globals) needs, whatever counts the module claims.
using SlotUse = std::array<std::uint32_t, kTypeClassCount>;

void use_slot(SlotUse& use, int type_class, std::uint16_t slot) {
    auto& used = use[static_cast<std::size_t>(type_class)];
    used = std::max(used, static_cast<std::uint32_t>(slot) + 1);
}

template <class Visit>
void for_each_variable(const Instruction& i, const Visit& visit) {
    const auto in_expression = [&](const oxdump::Expression& e) {
        for (const oxdump::ExprItem& item : e)
            if (item.token == EXPR_VAR) visit(item.variable);
    };
    if (i.opcode == OP_ASSIGN) visit(i.target_variable);
    in_expression(i.expression);
    for (const oxdump::Argument& a : i.arguments) {
        in_expression(a.expression);
        if (a.form == oxdump::Argument::Form::variable) visit(a.variable);
    }
}

bool is_local(const VariableRef& v) { return oxdump::type_flags(v.type_word) == LOCAL_FLAG; }

class Loader {
public:
    Loader(const oxdump::Module& m, std::shared_ptr<const SourceMap> source) : m_(m), source_(std::move(source)) {
        for (std::size_t k = 0; k < m.code.size(); ++k) by_address_.push_back(m.code[k].address);
    }

    Program load() {
        Program p;
        p.source = source_;
        reachable_.resize(m_.functions.size());
        local_use_.resize(m_.functions.size());
        for (std::size_t f = 0; f < m_.functions.size(); ++f) survey(f);
        p.global_int = global_use_[0];
        p.global_cells = global_use_[0] + global_use_[1];
        p.global_strs = global_use_[2];
        for (std::size_t f = 0; f < m_.functions.size(); ++f) p.functions.push_back(translate(p, f));
        set_handlers(p);
        return p;
    }

private:
    std::size_t index_of(oxdump::Offset address) const {
        return static_cast<std::size_t>(std::lower_bound(by_address_.begin(), by_address_.end(), address) -
                                        by_address_.begin());
    }

    // The instructions a function can reach from its entry, in address
    // order, and the slots they use. An instruction that falls through is
    // followed by the next one, so address order keeps every fall-through.
    void survey(std::size_t f) {
        std::vector<bool> seen(m_.code.size() + 1);
        std::vector<std::size_t> work{index_of(m_.functions[f].entry)};
        while (!work.empty()) {
            const std::size_t k = work.back();
            work.pop_back();
            if (seen[k]) continue;
            seen[k] = true;
            if (k == m_.code.size()) continue;  // past the last instruction
            const Instruction& i = m_.code[k];
            if (i.opcode == OP_JUMP || i.opcode == OP_JUMP_IF_FALSE) work.push_back(index_of(i.jump_target));
            if (i.opcode != OP_JUMP && i.opcode != OP_RETURN) work.push_back(k + 1);
            for_each_variable(i, [&](const VariableRef& v) { note_use(f, v); });
        }
        for (std::size_t k = 0; k < seen.size(); ++k)
            if (seen[k]) reachable_[f].push_back(k);
        for (const oxdump::Parameter& par : m_.functions[f].parameters)
            if (par.slot != UNNAMED_PARAMETER_SLOT) use_slot(local_use_[f], type_class_index(par.type), par.slot);
    }

    void note_use(std::size_t f, const VariableRef& v) {
        const int type_class = type_class_index(oxdump::type_code(v.type_word));
        if (type_class < 0) return;
        if (!is_local(v)) use_slot(global_use_, type_class, v.slot);
        else if (v.slot < m_.functions[f].local_counts[static_cast<std::size_t>(type_class)])
            use_slot(local_use_[f], type_class, v.slot);
    }

    // A variable of function f: its place, or nullopt for a local slot the
    // function does not have (code reached by a jump from another function).
    std::optional<VarAt> resolve(const Function& fn, std::size_t f, const VariableRef& v) const {
        const TypeCode type = oxdump::type_code(v.type_word);
        const int type_class = type_class_index(type);
        if (type_class < 0) return std::nullopt;
        if (!is_local(v)) {
            if (type == TYPE_INT) return VarAt{Place::global, v.slot};
            if (type == TYPE_UINT) return VarAt{Place::global, global_use_[0] + v.slot};
            return VarAt{Place::global, v.slot};
        }
        if (v.slot >= m_.functions[f].local_counts[static_cast<std::size_t>(type_class)]) return std::nullopt;
        switch (type) {
            case TYPE_INT: return VarAt{Place::local, v.slot};
            case TYPE_UINT: return VarAt{Place::local, fn.int_locals + v.slot};
            case TYPE_STR: return VarAt{Place::local, v.slot};
            case TYPE_INT_REF: return VarAt{Place::ref, v.slot};
            case TYPE_UINT_REF: return VarAt{Place::ref, fn.int_refs + v.slot};
            default: return VarAt{Place::ref, v.slot};
        }
    }

    Function translate(Program& p, std::size_t f) {
        const SlotUse& use = local_use_[f];
        Function fn;
        fn.name = source_ && f < source_->functions.size() ? source_->functions[f].name : "function " + std::to_string(f);
        fn.entry = static_cast<std::uint32_t>(m_.functions[f].entry);
        fn.int_locals = use[0];
        fn.int_refs = use[3];
        fn.frame = {use[0] + use[1], use[3] + use[4], use[2], use[5]};
        for (const oxdump::Parameter& par : m_.functions[f].parameters) {
            fn.parameters.push_back(par.type);
            fn.parameter_names.push_back(label(f, {static_cast<std::uint16_t>(LOCAL_FLAG | par.type), par.slot}));
            fn.parameter_destinations.push_back(destination(f, par));
        }
        std::vector<std::uint32_t> step_of(m_.code.size() + 1);
        for (std::size_t k = 0; k < reachable_[f].size(); ++k)
            step_of[reachable_[f][k]] = static_cast<std::uint32_t>(k);
        for (const std::size_t k : reachable_[f]) fn.steps.push_back(translate_step(p, fn, f, k, step_of));
        for (Step& s : fn.steps)
            if (s.kind == Step::Kind::jump && fn.steps[s.operand].kind == Step::Kind::jump_if_false) s.kind = Step::Kind::loop;
        return fn;
    }

    static Step trap(Function& fn, std::uint32_t address, std::string why) {
        Step s;
        s.kind = Step::Kind::trap;
        s.address = address;
        s.operand = static_cast<std::uint32_t>(fn.traps.size());
        fn.traps.push_back(std::move(why));
        return s;
    }

    Step translate_step(Program& p, Function& fn, std::size_t f, std::size_t k,
                        const std::vector<std::uint32_t>& step_of) {
        if (k == m_.code.size())
            return trap(fn, static_cast<std::uint32_t>(m_.code_size), "the code runs past the end of the code area");
        const Instruction& i = m_.code[k];
        Step s;
        s.address = static_cast<std::uint32_t>(i.address);
        std::string problem;
        const ResolveVariable resolve_here = [&](const VariableRef& v) { return resolve(fn, f, v); };
        if (i.opcode == OP_ASSIGN || i.opcode == OP_JUMP_IF_FALSE) {
            s.expression = translate_expression(i.expression, resolve_here, p.nodes, problem);
            if (s.expression == nullptr) return trap(fn, s.address, problem);
        }
        switch (i.opcode) {
            case OP_ASSIGN: {
                const auto target = resolve_here(i.target_variable);
                if (!target) return trap(fn, s.address, "the assignment names a variable the function does not have");
                s.kind = target->place == Place::local    ? Step::Kind::assign_local
                         : target->place == Place::global ? Step::Kind::assign_global
                                                          : Step::Kind::assign_ref;
                s.operand = target->index;
                break;
            }
            case OP_JUMP:
            case OP_JUMP_IF_FALSE:
                s.kind = i.opcode == OP_JUMP ? Step::Kind::jump : Step::Kind::jump_if_false;
                s.operand = step_of[index_of(i.jump_target)];
                break;
            case OP_CALL: {
                Call call;
                call.callee = i.call_number;
                for (const oxdump::Argument& a : i.arguments) {
                    auto arg = translate_argument(p, a, f, resolve_here, problem);
                    if (!arg) return trap(fn, s.address, problem);
                    call.arguments.push_back(std::move(*arg));
                }
                if (i.call_kind == CALL_USER) set_destinations(call);
                s.kind = i.call_kind == CALL_USER ? Step::Kind::call_user : Step::Kind::call_standard;
                s.operand = static_cast<std::uint32_t>(fn.calls.size());
                fn.calls.push_back(std::move(call));
                break;
            }
            default: s.kind = Step::Kind::ret; break;
        }
        return s;
    }

    std::optional<Argument> translate_argument(Program& p, const oxdump::Argument& a, std::size_t f,
                                               const ResolveVariable& resolve_here, std::string& problem) const {
        Argument arg;
        arg.parameter = a.parameter;
        if (a.form == oxdump::Argument::Form::expression) {
            arg.value = translate_expression(a.expression, resolve_here, p.nodes, problem);
            if (arg.value == nullptr) return std::nullopt;
            return arg;
        }
        if (a.form == oxdump::Argument::Form::string) {
            arg.kind = Argument::Kind::literal;
            arg.literal = a.text;
            return arg;
        }
        const auto at = resolve_here(a.variable);
        if (!at) {
            problem = "an argument names a variable the function does not have";
            return std::nullopt;
        }
        arg.var = *at;
        arg.name = label(f, a.variable);
        const bool is_str = is_str_type(oxdump::type_code(a.variable.type_word));
        if ((a.parameter & TYPE_BY_REFERENCE) == 0) arg.kind = Argument::Kind::str_value;
        else arg.kind = is_str ? Argument::Kind::str_ref : Argument::Kind::cell_ref;
        return arg;
    }

    // Where a parameter of function f goes in its frame: the slot within
    // its class, after the int ones for uint and uint&.
    std::optional<std::uint32_t> destination(std::size_t f, const oxdump::Parameter& par) const {
        if (par.slot == UNNAMED_PARAMETER_SLOT) return std::nullopt;
        const SlotUse& use = local_use_[f];
        const bool second = par.type == TYPE_UINT || par.type == TYPE_UINT_REF;
        return (!second ? 0 : par.type == TYPE_UINT ? use[0] : use[3]) + par.slot;
    }

    void set_destinations(Call& call) const {
        const oxdump::Function& callee = m_.functions[call.callee];
        for (std::size_t k = 0; k < call.arguments.size(); ++k) {
            Argument& a = call.arguments[k];
            if (k < callee.parameters.size()) a.destination = destination(call.callee, callee.parameters[k]);
            if (!a.destination) a.kind = a.kind == Argument::Kind::value ? Argument::Kind::value_unused : Argument::Kind::unused;
        }
    }

    // A variable's name for traces: from the source, else as oxdump lists it.
    std::string label(std::size_t f, const VariableRef& v) const {
        if (source_) {
            const TypeCode type = oxdump::type_code(v.type_word);
            const auto name = is_local(v) ? source_->local_name(f, type, v.slot) : source_->global_name(type, v.slot);
            if (name) return *name;
        }
        return oxdump::variable_text(v);
    }

    void set_handlers(Program& p) const {
        p.handlers.assign(m_.fixed_handlers.begin(), m_.fixed_handlers.end());
        p.handlers.insert(p.handlers.end(), m_.event_handlers.begin(), m_.event_handlers.end());
    }

    const oxdump::Module& m_;
    std::shared_ptr<const SourceMap> source_;
    std::vector<oxdump::Offset> by_address_;
    std::vector<std::vector<std::size_t>> reachable_;
    std::vector<SlotUse> local_use_;
    SlotUse global_use_{};
};

}  // namespace

Program load_program(const oxdump::Module& module, std::shared_ptr<const SourceMap> source) {
    return Loader(module, std::move(source)).load();
}

}  // namespace oxrun
