// The debugger's side of a run: where it stops (breakpoints at code
// addresses, stepping by source line, a pause asked for, the entry, a
// runtime error) and what a stopped run shows: the call stack with source
// lines and the variables by name. The protocol is the adapter's (dap.hpp).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "oxrun/machine.hpp"

namespace oxrun {

enum class StopReason : std::uint8_t { entry, breakpoint, function_breakpoint, step, pause, exception };
enum class StepMode : std::uint8_t { none, over, in, out };

struct FrameInfo {
    std::string function;
    int file = -1;  // -1 when the program has no line for it
    int line = 0;
};

struct VariableShown {
    std::string name, type, value;
};

struct Storage;  // where a variable's value lives

class Debugger final : public Watcher {
public:
    // Called with the run stopped; the run goes on when it returns (or ends
    // when it throws).
    using Stopped = std::function<void(StopReason, const std::string& text)>;
    // Called every so many steps, to hear requests that came while running.
    using Poll = std::function<void()>;

    Debugger(const Program& p, Stopped stopped, Poll poll);

    void before_step(const Machine& m) override;
    void faulted(const Machine& m, const std::string& message) override;

    // Breakpoints: the code addresses at which the run stops.
    void set_breakpoints(std::set<std::int64_t> lines, std::set<std::int64_t> functions);
    void stop_on_entry() {
        entry_ = true;
        listen_only_unless_stopping();
    }
    void pause() {
        pause_ = true;
        listen_only_unless_stopping();
    }
    // How the run goes on from the stop it is in.
    void resume(StepMode mode);

    // While stopped: the frames innermost first, and variables by frame.
    bool stopped() const { return machine_ != nullptr; }
    std::vector<FrameInfo> stack() const;
    std::vector<VariableShown> locals(std::size_t frame) const;  // frame 0 the innermost
    std::vector<VariableShown> globals() const;
    // A local of the frame, else a global, by name.
    std::optional<VariableShown> find(std::size_t frame, const std::string& name) const;

private:
    void stop(const Machine& m, StopReason reason, const std::string& text);
    bool step_ends(const Machine& m, const FrameView& top) const;
    int line_of(const FrameView& f) const;
    void arm();
    // Whether any step may stop the run; if none, the machine calls only to poll.
    void listen_only_unless_stopping();
    std::string referred_text(const Storage& s, std::size_t depth_index) const;

    const Program& program_;
    Stopped stopped_;
    Poll poll_;
    std::set<std::int64_t> line_stops_, function_stops_;
    std::vector<std::vector<std::uint8_t>> armed_;  // by function and step: 0, or why to stop there
    bool any_armed_ = false, entry_ = false, pause_ = false;
    StepMode mode_ = StepMode::none;
    std::size_t from_depth_ = 0;
    std::uint64_t from_event_ = 0;
    const Function* from_function_ = nullptr;
    int from_line_ = 0;
    const Machine* machine_ = nullptr;  // while stopped
};

}  // namespace oxrun
