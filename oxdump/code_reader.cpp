// Decodes the code area instruction by instruction, from its first byte to
// its last, whatever function the bytes belong to; then checks that every
// function entry and every jump target is the start of an instruction.
#include <algorithm>

#include "oxdump/module_reader.hpp"
#include "symbols/host_tables.hpp"

namespace oxdump {

namespace {

using namespace oxbuild;

constexpr Offset kUnitSize = 2;  // every item has an even size, so instructions start at even addresses

const StandardFunction* find_standard(std::uint16_t number) {
    for (const StandardFunction& f : standard_functions())
        if (f.number == number) return &f;
    return nullptr;
}

class CodeReader {
public:
    CodeReader(std::span<const std::uint8_t> file, const Module& m)
        : module_(m), in_(file, m.code_base, m.code_base + m.code_size, "the code area") {
        for (std::size_t k = 0; k < m.functions.size(); ++k) entries_.push_back({m.functions[k].entry, k});
        std::sort(entries_.begin(), entries_.end());
        starts_.resize(m.code_size / kUnitSize + 1);
    }

    std::vector<Instruction> read() {
        std::vector<Instruction> code;
        while (!in_.at_end()) {
            starts_[address() / kUnitSize] = true;
            code.push_back(read_instruction());
        }
        check_entries();
        check_jump_targets();
        return code;
    }

private:
    Offset address() const { return in_.offset() - module_.code_base; }

    // The function whose code holds the address: the last entry at or
    // before it; none for code before the first function.
    const Function* function_at(Offset code_address) const {
        const auto after = std::upper_bound(entries_.begin(), entries_.end(), code_address,
                                            [](Offset a, const auto& entry) { return a < entry.first; });
        return after == entries_.begin() ? nullptr : &module_.functions[std::prev(after)->second];
    }

    bool is_start(Offset code_address) const {
        return code_address % kUnitSize == 0 && code_address / kUnitSize < starts_.size() &&
               starts_[code_address / kUnitSize];
    }

    Instruction read_instruction() {
        const Offset at = in_.offset();
        Instruction i;
        i.address = address();
        current_ = function_at(i.address);
        i.opcode = in_.word("opcode");
        switch (i.opcode) {
            case OP_ASSIGN:
                i.target_variable = read_variable();
                i.expression = read_expression();
                break;
            case OP_JUMP:
                i.jump_target = read_jump_target();
                break;
            case OP_JUMP_IF_FALSE:
                i.expression = read_expression();
                i.jump_target = read_jump_target();
                break;
            case OP_CALL:
                read_call(i);
                break;
            case OP_RETURN:
                break;
            default:
                fail(at, "unknown opcode " + hex(i.opcode));
        }
        return i;
    }

    // A variable reference names an existing global, or a local of the
    // function it stands in.
    VariableRef read_variable() {
        const Offset at = in_.offset();
        VariableRef v;
        v.type_word = in_.word("variable type word");
        const Offset slot_at = in_.offset();
        v.slot = in_.word("variable slot word");
        const auto type = type_code(v.type_word);
        const bool local = type_flags(v.type_word) == LOCAL_FLAG;
        const bool global = type_flags(v.type_word) == 0 && type >= TYPE_INT && type <= TYPE_STR;
        const int type_class = type_class_index(type);
        if (!(global || (local && type_class >= 0)))
            fail(at, "variable type word " + hex(v.type_word) + " is not a variable type");
        if (global) check_slot(slot_at, v.slot, module_.global_counts[type - TYPE_INT], "module's", "global", type);
        // Code outside any function has no locals to check against.
        else if (current_ != nullptr)
            check_slot(slot_at, v.slot, current_->local_counts[static_cast<std::size_t>(type_class)], "function's",
                       "local", type);
        return v;
    }

    static void check_slot(Offset at, std::uint16_t slot, std::uint32_t count, std::string_view owner,
                           std::string_view scope, TypeCode type) {
        if (slot >= count)
            fail(at, std::string(scope) + " " + std::string(type_name(type)) + " slot " + std::to_string(slot) +
                         " lies past the " + std::string(owner) + " " +
                         count_of(count, std::string(type_name(type)) + " " + std::string(scope)));
    }

    // An infix stream: operands and operators alternate, prefixes and
    // parentheses balanced, up to EXPR_END.
    Expression read_expression() {
        Expression e;
        bool want_operand = true;
        std::size_t open_parens = 0;
        while (true) {
            const Offset at = in_.offset();
            ExprItem item;
            item.token = in_.word("expression token");
            if (item.token == EXPR_END) {
                if (want_operand) fail(at, "expression ends where an operand is expected");
                if (open_parens != 0) fail(at, "expression ends with an unclosed '('");
                return e;
            }
            want_operand =
                want_operand ? read_operand_token(item, at, open_parens) : read_operator_token(item, at, open_parens);
            e.push_back(item);
        }
    }

    // Returns whether an operand is still wanted after the token.
    bool read_operand_token(ExprItem& item, Offset at, std::size_t& open_parens) {
        if (item.token == EXPR_VAR) {
            item.variable = read_variable();
            if (is_str_type(type_code(item.variable.type_word))) fail(at, "a str variable stands in an expression");
            return false;
        }
        if (item.token == EXPR_CONST) {
            item.value = in_.dword("constant");
            return false;
        }
        if (item.token == EXPR_LPAREN) {
            ++open_parens;
            return true;
        }
        const OperatorSpelling* op = find_operator(item.token);
        if (op == nullptr || op->place != OperatorPlace::prefix)
            fail(at, "expression token " + hex(item.token) + " stands where an operand is expected");
        return true;
    }

    bool read_operator_token(const ExprItem& item, Offset at, std::size_t& open_parens) {
        if (item.token == EXPR_RPAREN) {
            if (open_parens == 0) fail(at, "expression closes a '(' that was not opened");
            --open_parens;
            return false;
        }
        const OperatorSpelling* op = find_operator(item.token);
        if (op == nullptr || op->place != OperatorPlace::binary)
            fail(at, "expression token " + hex(item.token) + " stands where an operator is expected");
        return true;
    }

    // A code address operand, stored as a file offset into the code area.
    Offset read_jump_target() {
        const Offset at = in_.offset();
        const Offset target = in_.dword("jump target");
        const Offset end = module_.code_base + module_.code_size;
        if (target < module_.code_base || target >= end)
            fail(at, "jump target " + std::to_string(target) + " lies outside the code area (" +
                         std::to_string(module_.code_base) + " to " + std::to_string(end) + ")");
        jumps_.push_back({target - module_.code_base, at});
        return target - module_.code_base;
    }

    void read_call(Instruction& i) {
        const Offset kind_at = in_.offset();
        i.call_kind = in_.word("call kind");
        const Offset number_at = in_.offset();
        i.call_number = in_.word("call number");
        std::vector<TypeCode> parameters;
        if (i.call_kind == CALL_STANDARD) {
            const StandardFunction* f = find_standard(i.call_number);
            if (f == nullptr) fail(number_at, "call of unknown standard function " + std::to_string(i.call_number));
            parameters.assign(f->parameters.begin(), f->parameters.end());
        } else if (i.call_kind == CALL_USER) {
            if (i.call_number >= module_.functions.size())
                fail(number_at, "call of function " + std::to_string(i.call_number) + ", but the module has " +
                                    count_of(module_.functions.size(), "function"));
            for (const Parameter& p : module_.functions[i.call_number].parameters) parameters.push_back(p.type);
        } else {
            fail(kind_at, "call kind " + std::to_string(i.call_kind) + " is neither 0 (user) nor 1 (standard)");
        }
        for (const TypeCode parameter : parameters) i.arguments.push_back(read_argument(parameter));
    }

    // The argument form follows the callee's parameter type.
    Argument read_argument(TypeCode parameter) {
        Argument a;
        a.parameter = parameter;
        if (parameter == TYPE_INT || parameter == TYPE_UINT) {
            a.expression = read_expression();
        } else if (parameter == TYPE_STR) {
            read_str_argument(a);
        } else {
            a.form = Argument::Form::variable;
            const Offset at = in_.offset();
            a.variable = read_variable();
            if (is_str_type(parameter) != is_str_type(type_code(a.variable.type_word)))
                fail(at, std::string("a ") + std::string(type_name(parameter)) +
                             " parameter is given a variable of another type");
        }
        return a;
    }

    // EXPR_STRING and the literal's bytes, a zero and padding to an even
    // size; or EXPR_VAR and a str variable.
    void read_str_argument(Argument& a) {
        const Offset at = in_.offset();
        const std::uint16_t form = in_.word("str argument form");
        const Offset operand_at = in_.offset();
        if (form == EXPR_VAR) {
            a.form = Argument::Form::variable;
            a.variable = read_variable();
            if (!is_str_type(type_code(a.variable.type_word)))
                fail(operand_at, "a str parameter is given a variable that is not a str");
            return;
        }
        if (form != EXPR_STRING) fail(at, "str argument begins with " + hex(form) + ", not a string or a variable");
        a.form = Argument::Form::string;
        a.text = in_.zero_terminated("string literal");
        if (a.text.size() > kStringArgumentMax)
            fail(operand_at, "string literal of " + std::to_string(a.text.size()) + " bytes is longer than " +
                                 std::to_string(kStringArgumentMax));
        if ((a.text.size() + 1) % 2 != 0) {
            const Offset pad_at = in_.offset();
            if (in_.byte("string padding") != 0) fail(pad_at, "string padding byte is not zero");
        }
    }

    void check_entries() const {
        for (const auto& [entry, index] : entries_)
            if (!is_start(entry))
                fail(module_.functions[index].descriptor, "entry " + std::to_string(entry) + " of function " +
                                                              std::to_string(index) +
                                                              " is not the start of an instruction");
    }

    void check_jump_targets() const {
        for (const auto& [target, at] : jumps_)
            if (!is_start(target))
                fail(at, "jump target " + std::to_string(target) + " is not the start of an instruction");
    }

    const Module& module_;
    Cursor in_;
    std::vector<std::pair<Offset, std::size_t>> entries_;  // (entry, function index), by entry
    const Function* current_ = nullptr;
    std::vector<bool> starts_;                      // by address / kUnitSize
    std::vector<std::pair<Offset, Offset>> jumps_;  // (target, operand offset)
};

}  // namespace

std::vector<Instruction> read_code(std::span<const std::uint8_t> file, const Module& module) {
    return CodeReader(file, module).read();
}

}  // namespace oxdump
