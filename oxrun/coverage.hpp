// What a watched run learns instruction by instruction: hit counts and the
// outcomes of every condition (for --coverage), and the place of the
// instruction running (for --lines). Coverage merges runs by source line and
// writes the lcov tracefile that report generators read.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "oxrun/machine.hpp"
#include "oxrun/trace.hpp"

namespace oxrun {

struct StepCount {
    std::uint64_t hits = 0;
    std::uint64_t held = 0, failed = 0;  // a jump_if_false's outcomes
};

class RunWatcher final : public Watcher, public Locator {
public:
    explicit RunWatcher(const Program& p);

    void before_step(const Machine& m) override;
    void branched(const Machine& m, bool held) override;
    // An event's handler is about to be called: its line is the handler's.
    void begin_event(const Function* handler);
    // "file(line)" of the instruction running, or of the handler before it
    // runs; "" without a source.
    std::string place() const override;

    // By function index, then by step.
    const std::vector<std::vector<StepCount>>& counts() const { return counts_; }

private:
    const Program& program_;
    std::vector<std::vector<StepCount>> counts_;
    const Function* function_ = nullptr;
    const Step* step_ = nullptr;  // nullptr before the handler's first step
};

class Coverage {
public:
    // Folds a run of a program compiled from its source in; a module run
    // without one adds nothing.
    void add(const Program& p, const RunWatcher& run);
    // The tracefile: per source file its functions, branches and lines.
    void write(std::ostream& out) const;

private:
    struct Line {
        std::uint64_t hits = 0;
        std::vector<std::array<std::uint64_t, 2>> branches;  // per condition: held, failed
    };
    struct File {
        std::map<int, Line> lines;
        std::map<std::string, std::pair<int, std::uint64_t>> functions;  // name -> line, calls
    };
    std::map<std::string, File> files_;  // by full path
};

}  // namespace oxrun
