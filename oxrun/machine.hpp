// The machine: runs a loaded program's functions, one event call at a time,
// with an explicit call stack (no recursion of its own), a step budget per
// event call and a call depth limit, so that every run ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "oxrun/program.hpp"

namespace oxrun {

struct Limits {
    std::uint64_t max_steps = 10'000'000;  // instructions per event call
    std::uint32_t max_depth = 1'000;       // nested calls of user functions
};

// A standard function's argument as the host sees it. By-value values are
// taken before the call; by-reference ones are the caller's variables. A
// str's text is a view of the literal or of the variable; when the call is
// traced it is a copy taken before the call (kept), since the call may
// change the variable.
struct HostArg {
    oxbuild::TypeCode type = 0;
    std::int32_t value = 0;      // int
    std::string_view text;       // str
    std::string kept;
    std::uint32_t* cell = nullptr;  // int&
    std::string* str = nullptr;     // str&
    const std::string* name = nullptr;  // the by-reference variable's name
};

// What carries out the standard functions (the model host).
class Host {
public:
    virtual void call(std::uint16_t number, std::span<HostArg> args) = 0;
    // Whether the call is traced, so that its str texts must outlive it.
    virtual bool traced(std::uint16_t number) const = 0;

protected:
    ~Host() = default;
};

// A runtime error with where it struck.
struct Fault {
    std::string message;
    std::string function;       // the function's name
    std::uint32_t address = 0;  // code address of the instruction
};

// Storage in chunks that never move, so that a by-reference parameter's
// pointer stays valid while its frame lives. Frames are taken and given
// back in stack order.
template <class T>
class FrameStack {
public:
    // Where the stack stood: enough to go back there without a look at the chunks.
    struct Mark {
        T* base = nullptr;
        std::size_t used = 0, end = 0;
        std::uint32_t chunk = 0;
    };
    Mark mark() const { return {base_, used_, end_, current_}; }
    void release(const Mark& m) {
        base_ = m.base;
        used_ = m.used;
        end_ = m.end;
        current_ = m.chunk;
    }
    // count items; none at all before the first chunk is made.
    T* take(std::size_t count) {
        if (end_ - used_ < count) next_chunk(count);
        T* items = base_ + used_;
        used_ += count;
        return items;
    }

private:
    void next_chunk(std::size_t count);
    struct Chunk {
        std::unique_ptr<T[]> items;
        std::size_t size = 0;
    };
    std::vector<Chunk> chunks_;
    std::uint32_t current_ = 0;
    T* base_ = nullptr;               // the current chunk's items
    std::size_t used_ = 0, end_ = 0;  // in the current chunk
};

// A frame of the call stack as a watcher sees it: the function, the step
// about to run (or the call running) and its storage.
struct FrameView {
    const Function* function = nullptr;
    std::uint32_t step = 0;
    const Env* env = nullptr;
};

class Machine;

// Hears a run instruction by instruction: coverage, lines in the trace, the
// debugger. A watched run takes a loop of its own, so that an unwatched one
// pays nothing for it.
class Watcher {
public:
    // Before each instruction of the innermost frame; or, while every_step
    // is false, once quiet_steps more have run (for a debugger that only
    // listens between its stops), the end of a while body then running its
    // condition in the same dispatch and conditions going unheard.
    virtual void before_step(const Machine& machine) = 0;
    bool every_step = true;
    std::uint32_t quiet_steps = 1;
    // A jump_if_false's outcome: held is true when its condition held.
    virtual void branched(const Machine& /*machine*/, bool /*held*/) {}
    // A runtime error, heard while the stack still stands.
    virtual void faulted(const Machine& /*machine*/, const std::string& /*message*/) {}

protected:
    ~Watcher() = default;
};

class Machine {
public:
    Machine(const Program& program, Host& host, Limits limits);

    void watch(Watcher* watcher) { watcher_ = watcher; }
    const Program& program() const { return program_; }
    // The call stack, outermost first.
    std::size_t depth() const { return depth_; }
    // Event calls begun so far.
    std::uint64_t events_called() const { return events_called_; }
    FrameView frame(std::size_t k) const { return {frames_[k].function, frames_[k].pc, &frames_[k].env}; }

    // Runs the handler of an event: by-value arguments in order; the
    // by-reference one (OnLoad's) is result. Throws Fault.
    void call_event(std::uint32_t function, std::span<const std::int32_t> values, std::uint32_t* result);

    std::uint64_t steps_taken() const { return limits_.max_steps - budget_; }

private:
    // Storage for a pointer or two cells; its bytes hold the objects put there.
    struct alignas(std::uintptr_t) Word {
        std::byte bytes[sizeof(std::uintptr_t)];
    };
    struct Frame {
        const Function* function = nullptr;
        std::uint32_t pc = 0;
        Env env;
        FrameStack<Word>::Mark words;
        FrameStack<std::string>::Mark strs;
    };

    [[gnu::always_inline]] inline Frame& push_frame(const Function& f);
    [[gnu::always_inline]] inline void pop_frame();
    template <bool kWatched>
    void run(std::size_t depth);
    [[gnu::always_inline]] inline void call_user(const Step& s, const Frame& caller);
    void call_standard(const Step& s, const Frame& caller);
    [[noreturn]] void fault(const std::string& message, const Frame& at);

    const Program& program_;
    Host& host_;
    Limits limits_;
    std::uint64_t budget_ = 0;
    std::vector<std::uint32_t> global_cells_;
    std::vector<std::string> global_strs_;
    std::vector<Frame> frames_;  // the first depth_ are the call stack
    std::size_t depth_ = 0;
    std::uint64_t events_called_ = 0;
    // A frame's cells, refs and str_refs lie in one block of words.
    FrameStack<Word> words_;
    FrameStack<std::string> strs_;
    std::uint32_t scratch_cell_ = 0;  // what a by-reference slot no argument set refers to
    std::string scratch_str_;
    std::vector<HostArg> host_args_;
    Watcher* watcher_ = nullptr;
};

}  // namespace oxrun
