#include "oxrun/debugger.hpp"

#include <algorithm>

#include "oxrun/trace.hpp"

namespace oxrun {

using namespace oxbuild;

// Where a named variable's value lives in a frame or the globals: the cell,
// the reference or the string, or nothing when no code uses its slot (the
// machine then gave it no storage).
struct Storage {
    const std::uint32_t* cell = nullptr;
    const std::string* str = nullptr;
};

namespace {

constexpr std::uint32_t kPollSteps = 1 << 14;
constexpr std::uint8_t kLineStop = 1, kFunctionStop = 2;

Storage local_storage(const Function& f, const Env& e, TypeCode type, std::uint32_t slot) {
    switch (type) {
        case TYPE_INT: return slot < f.int_locals ? Storage{&e.cells[slot]} : Storage{};
        case TYPE_UINT: return f.int_locals + slot < f.frame.cells ? Storage{&e.cells[f.int_locals + slot]} : Storage{};
        case TYPE_STR: return slot < f.frame.strs ? Storage{nullptr, &e.strs[slot]} : Storage{};
        case TYPE_INT_REF: return slot < f.int_refs ? Storage{e.refs[slot]} : Storage{};
        case TYPE_UINT_REF: return f.int_refs + slot < f.frame.refs ? Storage{e.refs[f.int_refs + slot]} : Storage{};
        case TYPE_STR_REF: return slot < f.frame.str_refs ? Storage{nullptr, e.str_refs[slot]} : Storage{};
        default: return {};
    }
}

Storage global_storage(const Program& p, const Env& e, TypeCode type, std::uint32_t slot) {
    switch (type) {
        case TYPE_INT: return slot < p.global_int ? Storage{&e.global_cells[slot]} : Storage{};
        case TYPE_UINT: return p.global_int + slot < p.global_cells ? Storage{&e.global_cells[p.global_int + slot]} : Storage{};
        case TYPE_STR: return slot < p.global_strs ? Storage{nullptr, &e.global_strs[slot]} : Storage{};
        default: return {};
    }
}

std::string value_text(TypeCode type, const Storage& s) {
    if (s.str != nullptr) return quoted(*s.str);
    if (s.cell == nullptr) return "0";
    if ((type & ~TYPE_BY_REFERENCE) == TYPE_UINT) return std::to_string(*s.cell);
    return std::to_string(static_cast<std::int32_t>(*s.cell));
}

std::string type_text(TypeCode type) {
    return std::string(type_spelling(type)) + ((type & TYPE_BY_REFERENCE) != 0 ? "&" : "");
}

}  // namespace

Debugger::Debugger(const Program& p, Stopped stopped, Poll poll)
    : program_(p), stopped_(std::move(stopped)), poll_(std::move(poll)) {
    for (const Function& f : p.functions) armed_.emplace_back(f.steps.size());
    listen_only_unless_stopping();
}

void Debugger::listen_only_unless_stopping() {
    every_step = any_armed_ || entry_ || pause_ || mode_ != StepMode::none;
}

// Without a breakpoint or a step, the machine calls only every kPollSteps
// steps, to hear requests.
void Debugger::before_step(const Machine& m) {
    if (quiet_steps <= 1) {
        quiet_steps = kPollSteps;
        poll_();
    } else {
        --quiet_steps;
    }
    if (!every_step) return;
    const FrameView top = m.frame(m.depth() - 1);
    const auto index = static_cast<std::size_t>(top.function - program_.functions.data());
    if (entry_) stop(m, StopReason::entry, "");
    else if (pause_) stop(m, StopReason::pause, "");
    else if (const std::uint8_t why = any_armed_ ? armed_[index][top.step] : 0; why != 0)
        stop(m, why == kLineStop ? StopReason::breakpoint : StopReason::function_breakpoint, "");
    else if (mode_ != StepMode::none && step_ends(m, top)) stop(m, StopReason::step, "");
}

void Debugger::faulted(const Machine& m, const std::string& message) { stop(m, StopReason::exception, message); }

// over: another line at this depth, or back in a caller; in: another line
// or another frame; out: back in a caller. A handler's end leads to the
// next event's first step.
bool Debugger::step_ends(const Machine& m, const FrameView& top) const {
    const std::size_t depth = m.depth();
    const bool next_event = m.events_called() != from_event_;
    const bool other_line = top.function != from_function_ || line_of(top) != from_line_;
    switch (mode_) {
        case StepMode::over: return depth < from_depth_ || next_event || (depth == from_depth_ && other_line);
        case StepMode::in: return next_event || depth != from_depth_ || other_line;
        case StepMode::out: return depth < from_depth_ || next_event;
        default: return false;
    }
}

void Debugger::stop(const Machine& m, StopReason reason, const std::string& text) {
    entry_ = pause_ = false;
    mode_ = StepMode::none;
    listen_only_unless_stopping();
    machine_ = &m;
    const FrameView top = m.frame(m.depth() - 1);
    from_depth_ = m.depth();
    from_event_ = m.events_called();
    from_function_ = top.function;
    from_line_ = line_of(top);
    stopped_(reason, text);
    machine_ = nullptr;
}

void Debugger::resume(StepMode mode) {
    mode_ = mode;
    listen_only_unless_stopping();
}

int Debugger::line_of(const FrameView& f) const {
    if (!program_.source || f.step >= f.function->steps.size()) return 0;
    const sourcemap::LineRow* row = program_.source->row_holding(f.function->steps[f.step].address);
    return row != nullptr ? row->line : 0;
}

void Debugger::set_breakpoints(std::set<std::int64_t> lines, std::set<std::int64_t> functions) {
    line_stops_ = std::move(lines);
    function_stops_ = std::move(functions);
    arm();
}

void Debugger::arm() {
    any_armed_ = false;
    for (std::size_t f = 0; f < program_.functions.size(); ++f) {
        const Function& fn = program_.functions[f];
        for (std::size_t k = 0; k < fn.steps.size(); ++k) {
            const std::int64_t address = fn.steps[k].address;
            std::uint8_t why = line_stops_.count(address) != 0 ? kLineStop : 0;
            if (k == 0 && function_stops_.count(fn.entry) != 0) why = kFunctionStop;
            armed_[f][k] = why;
            any_armed_ = any_armed_ || why != 0;
        }
    }
    listen_only_unless_stopping();
}

std::vector<FrameInfo> Debugger::stack() const {
    std::vector<FrameInfo> out;
    for (std::size_t k = machine_->depth(); k-- > 0;) {
        const FrameView f = machine_->frame(k);
        FrameInfo info{f.function->name, -1, line_of(f)};
        if (program_.source && f.step < f.function->steps.size())
            if (const auto* row = program_.source->row_holding(f.function->steps[f.step].address)) info.file = row->file;
        out.push_back(std::move(info));
    }
    return out;
}

namespace {

bool holds_line(const sourcemap::VariableInfo& v, int line) {
    return v.range.first_line <= line && line <= v.range.last_line;
}

// The variables of a function (or the globals, function -1) as the stop
// shows them: of the declarations sharing a slot, the one whose scope holds
// the line, else the first.
std::vector<const sourcemap::VariableInfo*> variables_of(const sourcemap::SourceMap& map, int function, int line) {
    std::vector<const sourcemap::VariableInfo*> out;
    for (const sourcemap::VariableInfo& v : map.variables) {
        if (v.function != function) continue;
        auto same_slot = std::find_if(out.begin(), out.end(), [&](const sourcemap::VariableInfo* o) {
            return o->type == v.type && o->slot == v.slot;
        });
        if (same_slot == out.end()) out.push_back(&v);
        else if (!holds_line(**same_slot, line) && holds_line(v, line)) *same_slot = &v;
    }
    return out;
}

}  // namespace

std::vector<VariableShown> Debugger::globals() const {
    std::vector<VariableShown> out;
    if (!program_.source || machine_ == nullptr) return out;
    const Env& env = *machine_->frame(0).env;
    for (const sourcemap::VariableInfo* v : variables_of(*program_.source, -1, 0))
        out.push_back({v->name, type_text(v->type),
                       value_text(v->type, global_storage(program_, env, v->type, static_cast<std::uint32_t>(v->slot)))});
    return out;
}

std::vector<VariableShown> Debugger::locals(std::size_t frame) const {
    std::vector<VariableShown> out;
    if (!program_.source || machine_ == nullptr || frame >= machine_->depth()) return out;
    const std::size_t depth_index = machine_->depth() - 1 - frame;
    const FrameView f = machine_->frame(depth_index);
    const int function = static_cast<int>(f.function - program_.functions.data());
    for (const sourcemap::VariableInfo* v : variables_of(*program_.source, function, line_of(f))) {
        const Storage s = local_storage(*f.function, *f.env, v->type, static_cast<std::uint32_t>(v->slot));
        std::string value = value_text(v->type, s);
        if ((v->type & TYPE_BY_REFERENCE) != 0) value += referred_text(s, depth_index);
        out.push_back({v->name, type_text(v->type), std::move(value)});
    }
    return out;
}

// " (refers to NAME)" of the variable a by-reference parameter is: a global,
// or a variable of a caller's frame; "" when it is none of them.
std::string Debugger::referred_text(const Storage& s, std::size_t depth_index) const {
    const auto same = [&](const Storage& o) {
        return (s.cell != nullptr && o.cell == s.cell) || (s.str != nullptr && o.str == s.str);
    };
    const sourcemap::SourceMap& map = *program_.source;
    const Env& globals = *machine_->frame(0).env;
    for (const sourcemap::VariableInfo* v : variables_of(map, -1, 0))
        if (same(global_storage(program_, globals, v->type, static_cast<std::uint32_t>(v->slot))))
            return " (refers to " + v->name + ")";
    for (std::size_t k = depth_index; k-- > 0;) {
        const FrameView caller = machine_->frame(k);
        const int function = static_cast<int>(caller.function - program_.functions.data());
        for (const sourcemap::VariableInfo* v : variables_of(map, function, line_of(caller))) {
            if ((v->type & TYPE_BY_REFERENCE) != 0) continue;
            if (same(local_storage(*caller.function, *caller.env, v->type, static_cast<std::uint32_t>(v->slot))))
                return " (refers to " + v->name + " in " + caller.function->name + ")";
        }
    }
    return "";
}

std::optional<VariableShown> Debugger::find(std::size_t frame, const std::string& name) const {
    for (std::vector<VariableShown> list : {locals(frame), globals()})
        for (VariableShown& v : list)
            if (v.name == name) return std::move(v);
    return std::nullopt;
}

}  // namespace oxrun
