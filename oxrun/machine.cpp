#include "oxrun/machine.hpp"

#include <algorithm>

#include "oxrun/expression.hpp"

namespace oxrun {

namespace {

constexpr std::size_t kChunkItems = 1 << 14;
// Strings that grew past this are given back when their frame is reused.
constexpr std::size_t kKeptStringCapacity = 1 << 12;

std::uint32_t* cell_at(const Env& e, VarAt v) {
    switch (v.place) {
        case Place::local: return &e.cells[v.index];
        case Place::global: return &e.global_cells[v.index];
        default: return e.refs[v.index];
    }
}

std::string* str_at(const Env& e, VarAt v) {
    switch (v.place) {
        case Place::local: return &e.strs[v.index];
        case Place::global: return &e.global_strs[v.index];
        default: return e.str_refs[v.index];
    }
}

void fresh(std::string& s) {
    if (s.capacity() > kKeptStringCapacity) std::string().swap(s);
    else s.clear();
}

}  // namespace

template <class T>
T* FrameStack<T>::take(std::size_t count) {
    if (!chunks_.empty() && chunks_[current_].size - chunks_[current_].used < count) {
        ++current_;
        if (current_ < chunks_.size() && chunks_[current_].size < count) chunks_.resize(current_);
        if (current_ < chunks_.size()) chunks_[current_].used = 0;
    }
    if (current_ >= chunks_.size()) {
        const std::size_t size = std::max(count, kChunkItems);
        chunks_.push_back({std::make_unique<T[]>(size), size, 0});
        current_ = chunks_.size() - 1;
    }
    Chunk& c = chunks_[current_];
    T* items = c.items.get() + c.used;
    c.used += count;
    return items;
}

Machine::Machine(const Program& program, Host& host, Limits limits)
    : program_(program), host_(host), limits_(limits), global_cells_(program.global_cells),
      global_strs_(program.global_strs) {}

Machine::Frame& Machine::push_frame(const Function& f) {
    Frame fr;
    fr.function = &f;
    fr.cells = cells_.mark();
    fr.refs = refs_.mark();
    fr.strs = strs_.mark();
    fr.str_refs = str_refs_.mark();
    fr.env.global_cells = global_cells_.data();
    fr.env.global_strs = global_strs_.data();
    fr.env.cells = cells_.take(f.frame.cells);
    std::fill_n(fr.env.cells, f.frame.cells, 0u);
    fr.env.refs = refs_.take(f.frame.refs);
    std::fill_n(fr.env.refs, f.frame.refs, &scratch_cell_);
    fr.env.strs = strs_.take(f.frame.strs);
    std::for_each(fr.env.strs, fr.env.strs + f.frame.strs, fresh);
    fr.env.str_refs = str_refs_.take(f.frame.str_refs);
    std::fill_n(fr.env.str_refs, f.frame.str_refs, &scratch_str_);
    frames_.push_back(fr);
    return frames_.back();
}

void Machine::pop_frame() {
    const Frame& fr = frames_.back();
    cells_.release(fr.cells);
    refs_.release(fr.refs);
    strs_.release(fr.strs);
    str_refs_.release(fr.str_refs);
    frames_.pop_back();
}

void Machine::fault(const std::string& message, const Frame& at) {
    const std::uint32_t address = at.pc < at.function->steps.size() ? at.function->steps[at.pc].address : 0;
    Fault f{message, at.function->name, address};
    while (!frames_.empty()) pop_frame();
    throw f;
}

void Machine::call_event(std::uint32_t function, std::span<const std::int32_t> values, std::uint32_t* result) {
    const Function& f = program_.functions[function];
    budget_ = limits_.max_steps;
    Frame& fr = push_frame(f);
    // The host passes ints by value and one int& (OnLoad's result); other
    // parameter types get nothing from it.
    std::size_t next_value = 0;
    for (std::size_t k = 0; k < f.parameters.size(); ++k) {
        const auto& to = f.parameter_destinations[k];
        const oxbuild::TypeCode t = f.parameters[k];
        const bool by_value = t == oxbuild::TYPE_INT || t == oxbuild::TYPE_UINT;
        if (by_value && next_value < values.size() && to)
            fr.env.cells[*to] = static_cast<std::uint32_t>(values[next_value]);
        if (by_value) ++next_value;
        if ((t == oxbuild::TYPE_INT_REF || t == oxbuild::TYPE_UINT_REF) && result != nullptr && to)
            fr.env.refs[*to] = result;
    }
    run(frames_.size() - 1);
}

void Machine::run(std::size_t depth) {
    Frame* fr = &frames_.back();
    const Step* steps = fr->function->steps.data();
    std::uint32_t pc = fr->pc;
    try {
        while (true) {
            if (budget_-- == 0) {
                fr->pc = pc;
                fault("the step budget of " + std::to_string(limits_.max_steps) + " instructions ran out", *fr);
            }
            const Step& s = steps[pc];
            switch (s.kind) {
                case Step::Kind::assign: *cell_at(fr->env, s.target) = evaluate(*s.expression, fr->env); ++pc; break;
                case Step::Kind::jump: pc = s.jump; break;
                case Step::Kind::jump_if_false: pc = evaluate(*s.expression, fr->env) != 0 ? pc + 1 : s.jump; break;
                case Step::Kind::call_user:
                    fr->pc = pc;
                    call_user(s, *fr);
                    fr = &frames_.back();
                    steps = fr->function->steps.data();
                    pc = 0;
                    break;
                case Step::Kind::call_standard:
                    fr->pc = pc;
                    call_standard(s, *fr);
                    ++pc;
                    break;
                case Step::Kind::ret:
                    pop_frame();
                    if (frames_.size() == depth) return;
                    fr = &frames_.back();
                    steps = fr->function->steps.data();
                    pc = fr->pc + 1;
                    break;
                case Step::Kind::trap: raise(s.trap);
            }
        }
    } catch (const RuntimeError& e) {
        fr->pc = pc;
        fault(e.what(), *fr);
    }
}

void Machine::call_user(const Step& s, const Frame& caller_frame) {
    if (frames_.size() >= limits_.max_depth)
        raise("the call depth limit of " + std::to_string(limits_.max_depth) + " nested calls was reached");
    const Call& call = caller_frame.function->calls[s.call];
    const Function& callee = program_.functions[call.callee];
    const std::size_t caller_index = frames_.size() - 1;
    const Env callee_env = push_frame(callee).env;
    const Env& env = frames_[caller_index].env;  // frames_ may have moved
    for (const Argument& a : call.arguments) {
        switch (a.kind) {
            case Argument::Kind::value: {
                const std::uint32_t v = evaluate(*a.value, env);
                if (a.destination) callee_env.cells[*a.destination] = v;
                break;
            }
            case Argument::Kind::literal:
                if (a.destination) callee_env.strs[*a.destination] = a.literal;
                break;
            case Argument::Kind::str_value:
                if (a.destination) callee_env.strs[*a.destination] = *str_at(env, a.var);
                break;
            case Argument::Kind::cell_ref:
                if (a.destination) callee_env.refs[*a.destination] = cell_at(env, a.var);
                break;
            case Argument::Kind::str_ref:
                if (a.destination) callee_env.str_refs[*a.destination] = str_at(env, a.var);
                break;
        }
    }
}

void Machine::call_standard(const Step& s, const Frame& caller) {
    const Call& call = caller.function->calls[s.call];
    host_args_.resize(call.arguments.size());
    for (std::size_t k = 0; k < call.arguments.size(); ++k) {
        const Argument& a = call.arguments[k];
        HostArg& h = host_args_[k];
        h.type = a.parameter;
        h.name = &a.name;
        switch (a.kind) {
            case Argument::Kind::value: h.value = static_cast<std::int32_t>(evaluate(*a.value, caller.env)); break;
            case Argument::Kind::literal: h.text = a.literal; break;
            case Argument::Kind::str_value: h.text = *str_at(caller.env, a.var); break;
            case Argument::Kind::cell_ref: h.cell = cell_at(caller.env, a.var); break;
            case Argument::Kind::str_ref: h.str = str_at(caller.env, a.var); break;
        }
    }
    host_.call(static_cast<std::uint16_t>(call.callee), host_args_);
}

}  // namespace oxrun
