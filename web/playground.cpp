// The page's interface to the toolchain, called from JavaScript: compile a
// source whose files the page has written into the in-memory file system,
// list the module, and run it with a script. Each call leaves its results
// here, read by the accessors until the next call; texts are UTF-8.
#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "oxdump/oxdump.hpp"
#include "oxls/cp932.hpp"
#include "oxrun/runner.hpp"
#include "oxrun/script.hpp"
#include "sourcemap/source_map.hpp"

#define PLAYGROUND_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace {

struct Results {
    std::vector<std::uint8_t> module;
    std::string messages;
    std::string listing;
    std::unique_ptr<oxrun::Program> program;  // the last clean compile's, for runs
    std::string program_name;
    std::string trace;
    std::string run_error;
};

Results& results() {
    static Results r;
    return r;
}

void list_module(Results& r) {
    std::ostringstream out, err;
    oxdump::dump_module_bytes(r.module, r.program_name, out, err);
    r.listing = out.str() + err.str();
}

}  // namespace

// Compiles the source at path, named display in messages, with messages in
// English when english is nonzero, else in Japanese. Returns the number of
// errors; on none the module, its listing and a runnable program are kept.
PLAYGROUND_EXPORT int playground_compile(const char* path, const char* display, int english) {
    Results& r = results();
    const auto style = english != 0 ? oxbuild::MessageStyle::english : oxbuild::MessageStyle::utf8;
    sourcemap::CompiledSource compiled = sourcemap::compile_source(path, display, style);
    r = Results{};
    r.program_name = display;
    r.messages = std::move(compiled.messages);
    if (!compiled.opened) {
        r.messages = std::string(display) + ": cannot be read\n";
        return 1;
    }
    if (compiled.errors != 0) return compiled.errors;
    r.module = std::move(compiled.module);
    list_module(r);
    oxrun::Loaded loaded = oxrun::load_module(r.module, r.program_name, std::move(compiled.map));
    r.program = std::move(loaded.program);
    if (!r.program) r.run_error = loaded.error;
    return 0;
}

PLAYGROUND_EXPORT const char* playground_messages() { return results().messages.c_str(); }
PLAYGROUND_EXPORT const char* playground_listing() { return results().listing.c_str(); }
PLAYGROUND_EXPORT const std::uint8_t* playground_module() { return results().module.data(); }
PLAYGROUND_EXPORT std::size_t playground_module_size() { return results().module.size(); }

// Runs the last clean compile's program with the script's text. Returns
// the run's exit status as oxrun's (0 a normal end, 1 a runtime error, 2 a
// script that does not parse or no program); the trace and the error line
// are kept.
PLAYGROUND_EXPORT int playground_run(const char* script_text, const char* script_name) {
    Results& r = results();
    r.trace.clear();
    if (!r.program) {
        if (r.run_error.empty()) r.run_error = "no program: the source does not compile";
        return oxrun::kExitRefused;
    }
    r.run_error.clear();
    oxrun::Script script;
    try {
        script = oxrun::parse_script(script_text, script_name);
    } catch (const oxrun::ScriptError& e) {
        r.run_error = e.what();
        return oxrun::kExitRefused;
    }
    std::ostringstream trace;
    const oxrun::RunOutcome outcome = oxrun::run_program(*r.program, r.program_name, script, {}, trace);
    r.trace = trace.str();
    r.run_error = outcome.error;
    return outcome.status;
}

PLAYGROUND_EXPORT const char* playground_trace() { return results().trace.c_str(); }
PLAYGROUND_EXPORT const char* playground_run_error() { return results().run_error.c_str(); }

// Writes the editor's UTF-8 text to path in code page 932, as sources are
// stored. Returns how many characters had no code page 932 form (each
// written as '?'), or -1 when the file cannot be written.
PLAYGROUND_EXPORT int playground_write_source(const char* path, const char* utf8_text) {
    const oxls::Cp932Text text = oxls::utf8_to_cp932(utf8_text);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.bytes.data(), static_cast<std::streamsize>(text.bytes.size()));
    out.close();
    return out ? static_cast<int>(text.unmappable.size()) : -1;
}
