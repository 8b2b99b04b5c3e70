// The runner on arbitrary module bytes: a module that oxdump's reader
// refuses gets a message; any other runs every event, waits and its unload
// to a normal end or a runtime error within small limits, never a crash,
// a hang or an unbounded allocation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <span>
#include <sstream>

#include "oxrun/runner.hpp"
#include "oxrun/script.hpp"

namespace {

// Every event with arguments, the timer's waits and a few answers.
constexpr std::string_view kScript =
    "answer MessageBox 6\nanswer Random 3\nanswer LineInputBox 1 \"x\"\nOnClick 1 2 3\nOnDblClick -1 0 7\n"
    "OnTargetChanging 5\nOnTargetChanged 6\nOnTargetMoving\nOnTargetMoved\nOnMenuItemSelected 1 2\n"
    "wait 1000\nwait 2500\nOnInterval\n";

[[noreturn]] void broken(const char* what, const std::string& detail) {
    std::cerr << "BROKEN PROPERTY: " << what << "\n" << detail.substr(0, 4000) << '\n';
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const oxrun::Script script = oxrun::parse_script(kScript, "fuzz.oxt");
    const oxrun::Loaded loaded = oxrun::load_module(std::span(data, size), "m.oxb", nullptr);
    if (!loaded.program) {
        if (loaded.error.empty()) broken("a refused module without a message", "");
        return 0;
    }
    oxrun::RunOptions options;
    options.limits.max_steps = 20'000;
    options.limits.max_depth = 200;
    options.host.max_string = 1 << 16;
    std::ostringstream trace;
    const oxrun::RunOutcome outcome = oxrun::run_program(*loaded.program, "m.oxb", script, options, trace);
    if (outcome.status == oxrun::kExitRuntimeError && outcome.error.empty()) broken("a runtime error without a message", trace.str());
    if (outcome.status != oxrun::kExitOk && outcome.status != oxrun::kExitRuntimeError)
        broken("an unexpected status", outcome.error);
    return 0;
}
