// One run: a program (a module, or a source compiled in memory) loaded, its
// OnLoad called when it has one, the script's steps carried out, then its
// OnUnload; the trace written as it goes.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "oxrun/host.hpp"
#include "oxrun/machine.hpp"
#include "oxrun/program.hpp"
#include "oxrun/script.hpp"

namespace oxrun {

inline constexpr int kExitOk = 0;
inline constexpr int kExitRuntimeError = 1;
inline constexpr int kExitRefused = 2;  // a broken module or script, a source with errors, a wrong command line

struct Loaded {
    std::unique_ptr<Program> program;  // nullptr when refused
    std::string error;                 // why, in lines
};

// path ending in .oxs (any case) is a source, anything else a module.
// display names it in messages (the path itself when empty).
Loaded load_file(const std::string& path, const std::string& display = "");
// A module's bytes, checked by oxdump's reader; name appears in messages.
Loaded load_module(std::span<const std::uint8_t> bytes, const std::string& name,
                   std::shared_ptr<const SourceMap> source);

class Coverage;

struct RunOptions {
    Limits limits;
    HostOptions host;
    bool lines = false;            // trace lines name their file and line
    Coverage* coverage = nullptr;  // where runs add their counts
    Watcher* debugger = nullptr;   // watches the run instead (the debug adapter)
};

struct RunOutcome {
    int status = kExitOk;
    std::string error;  // the runtime error's message line
};

RunOutcome run_program(const Program& program, const std::string& program_name, const Script& script,
                       const RunOptions& options, std::ostream& trace);

}  // namespace oxrun
