#include "oxrun/machine.hpp"

#include <algorithm>

#include "oxrun/expression.hpp"

namespace oxrun {

namespace {

constexpr std::size_t kChunkItems = 1 << 14;
constexpr std::size_t kReservedFrames = 1024;
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
void FrameStack<T>::next_chunk(std::size_t count) {
    if (!chunks_.empty()) ++current_;
    // A chunk too small for this frame, and those after it, are dropped.
    if (current_ < chunks_.size() && chunks_[current_].size < count) chunks_.resize(current_);
    if (current_ == chunks_.size()) {
        const std::size_t size = std::max(count, kChunkItems);
        chunks_.push_back({std::make_unique<T[]>(size), size});
    }
    used_ = 0;
    base_ = chunks_[current_].items.get();
    end_ = chunks_[current_].size;
}

Machine::Machine(const Program& program, Host& host, Limits limits)
    : program_(program), host_(host), limits_(limits), global_cells_(program.global_cells),
      global_strs_(program.global_strs) {
    frames_.resize(std::min<std::size_t>(limits.max_depth, kReservedFrames) + 1);
}

inline Machine::Frame& Machine::push_frame(const Function& f) {
    // Frames are kept for reuse: every field is set here.
    if (depth_ == frames_.size()) frames_.resize(2 * depth_);
    Frame& fr = frames_[depth_++];
    fr.function = &f;
    fr.pc = 0;
    fr.words = words_.mark();
    fr.env.global_cells = global_cells_.data();
    fr.env.global_strs = global_strs_.data();
    const FrameSize& size = f.frame;
    const std::size_t cell_words = (size.cells * sizeof(std::uint32_t) + sizeof(Word) - 1) / sizeof(Word);
    Word* words = words_.take(cell_words + size.refs + size.str_refs);
    fr.env.cells = reinterpret_cast<std::uint32_t*>(words);
    std::fill_n(fr.env.cells, size.cells, 0u);
    fr.env.refs = reinterpret_cast<std::uint32_t**>(words + cell_words);
    std::fill_n(fr.env.refs, size.refs, &scratch_cell_);
    fr.env.str_refs = reinterpret_cast<std::string**>(words + cell_words + size.refs);
    std::fill_n(fr.env.str_refs, size.str_refs, &scratch_str_);
    fr.env.strs = nullptr;
    if (size.strs != 0) {
        fr.strs = strs_.mark();
        fr.env.strs = strs_.take(size.strs);
        std::for_each(fr.env.strs, fr.env.strs + size.strs, fresh);
    }
    return fr;
}

inline void Machine::pop_frame() {
    const Frame& fr = frames_[depth_ - 1];
    words_.release(fr.words);
    if (fr.function->frame.strs != 0) strs_.release(fr.strs);
    --depth_;
}

void Machine::fault(const std::string& message, const Frame& at) {
    if (watcher_ != nullptr) watcher_->faulted(*this, message);
    const std::uint32_t address = at.pc < at.function->steps.size() ? at.function->steps[at.pc].address : 0;
    Fault f{message, at.function->name, address};
    while (depth_ != 0) pop_frame();
    throw f;
}

void Machine::call_event(std::uint32_t function, std::span<const std::int32_t> values, std::uint32_t* result) {
    const Function& f = program_.functions[function];
    budget_ = limits_.max_steps;
    ++events_called_;
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
    if (watcher_ != nullptr) run<true>(depth_ - 1);
    else run<false>(depth_ - 1);
}

inline void Machine::call_user(const Step& s, const Frame& caller_frame) {
    if (depth_ >= limits_.max_depth)
        raise("the call depth limit of " + std::to_string(limits_.max_depth) + " nested calls was reached");
    const Call& call = caller_frame.function->calls[s.operand];
    const Function& callee = program_.functions[call.callee];
    const std::size_t caller_index = depth_ - 1;
    const Env& callee_env = push_frame(callee).env;
    const Env& env = frames_[caller_index].env;  // after the push: frames_ may have moved
    for (const Argument& a : call.arguments) {
        switch (a.kind) {
            case Argument::Kind::value: callee_env.cells[*a.destination] = evaluate(*a.value, env); break;
            case Argument::Kind::literal: callee_env.strs[*a.destination] = a.literal; break;
            case Argument::Kind::str_value: callee_env.strs[*a.destination] = *str_at(env, a.var); break;
            case Argument::Kind::cell_ref: callee_env.refs[*a.destination] = cell_at(env, a.var); break;
            case Argument::Kind::str_ref: callee_env.str_refs[*a.destination] = str_at(env, a.var); break;
            case Argument::Kind::value_unused: evaluate(*a.value, env); break;
            case Argument::Kind::unused: break;
        }
    }
}

// The dispatch loop. The frame, its storage and the budget are kept in
// locals; a call or a return reloads them. Watched, the watcher hears each
// step with the frame's pc stored, and the end of a while body is a plain
// jump, so that its condition is heard as a step of its own (see Watcher
// for one that does not hear every step).
template <bool kWatched>
void Machine::run(std::size_t depth) {
    Frame* fr = &frames_[depth_ - 1];
    const Step* steps = fr->function->steps.data();
    std::uint32_t pc = fr->pc;
    const Env* env = &fr->env;
    std::uint64_t budget = budget_;
    Watcher* const watcher = watcher_;
    const auto enter = [&](std::uint32_t at) {
        fr = &frames_[depth_ - 1];
        steps = fr->function->steps.data();
        env = &fr->env;
        pc = at;
    };
    try {
        while (true) {
            if (budget-- == 0) {
                budget_ = 0;
                raise("the step budget of " + std::to_string(limits_.max_steps) + " instructions ran out");
            }
            const Step& s = steps[pc];
            if constexpr (kWatched) {
                if (watcher->every_step || --watcher->quiet_steps == 0) {
                    fr->pc = pc;
                    watcher->before_step(*this);
                }
            }
            switch (s.kind) {
                case Step::Kind::assign_local: env->cells[s.operand] = evaluate(*s.expression, *env); ++pc; break;
                case Step::Kind::assign_global: env->global_cells[s.operand] = evaluate(*s.expression, *env); ++pc; break;
                case Step::Kind::assign_ref: *env->refs[s.operand] = evaluate(*s.expression, *env); ++pc; break;
                case Step::Kind::jump: pc = s.operand; break;
                case Step::Kind::loop:
                    pc = s.operand;
                    if ((kWatched && watcher->every_step) || budget == 0) break;  // the condition then meets the budget where it stands
                    --budget;
                    pc = evaluate(*steps[pc].expression, *env) != 0 ? pc + 1 : steps[pc].operand;
                    break;
                case Step::Kind::jump_if_false: {
                    const bool held = evaluate(*s.expression, *env) != 0;
                    if constexpr (kWatched)
                        if (watcher->every_step) watcher->branched(*this, held);
                    pc = held ? pc + 1 : s.operand;
                    break;
                }
                case Step::Kind::call_user:
                    fr->pc = pc;
                    call_user(s, *fr);
                    enter(0);
                    break;
                case Step::Kind::call_standard:
                    fr->pc = pc;
                    call_standard(s, *fr);
                    ++pc;
                    break;
                case Step::Kind::ret:
                    pop_frame();
                    if (depth_ == depth) {
                        budget_ = budget;
                        return;
                    }
                    enter(frames_[depth_ - 1].pc + 1);
                    break;
                case Step::Kind::trap: raise(fr->function->traps[s.operand]);
            }
        }
    } catch (const RuntimeError& e) {
        fr->pc = pc;
        fault(e.what(), *fr);
    }
}

void Machine::call_standard(const Step& s, const Frame& caller) {
    const Call& call = caller.function->calls[s.operand];
    host_args_.resize(call.arguments.size());
    const bool traced = host_.traced(static_cast<std::uint16_t>(call.callee));
    for (std::size_t k = 0; k < call.arguments.size(); ++k) {
        const Argument& a = call.arguments[k];
        HostArg& h = host_args_[k];
        h.type = a.parameter;
        h.name = &a.name;
        switch (a.kind) {
            case Argument::Kind::value: h.value = static_cast<std::int32_t>(evaluate(*a.value, caller.env)); break;
            case Argument::Kind::literal: h.text = a.literal; break;
            case Argument::Kind::str_value:
                h.text = *str_at(caller.env, a.var);
                if (traced) h.text = h.kept.assign(h.text);
                break;
            case Argument::Kind::cell_ref: h.cell = cell_at(caller.env, a.var); break;
            case Argument::Kind::str_ref: h.str = str_at(caller.env, a.var); break;
            case Argument::Kind::value_unused:
            case Argument::Kind::unused: break;  // only user callees' arguments are marked so
        }
    }
    host_.call(static_cast<std::uint16_t>(call.callee), host_args_);
}

}  // namespace oxrun
