#include "oxrun/runner.hpp"

#include <fstream>
#include <iterator>
#include <new>

#include "core/text_encoding.hpp"
#include "oxdump/module_reader.hpp"
#include "sourcemap/source_map.hpp"
#include "oxrun/coverage.hpp"
#include "oxrun/trace.hpp"
#include "symbols/host_tables.hpp"

namespace oxrun {

namespace {

constexpr std::string_view kSourceExtension = ".oxs";
constexpr std::size_t kLoadRow = 0, kUnloadRow = 1, kIntervalRow = 2;

bool is_source_name(const std::string& path) {
    return path.size() >= kSourceExtension.size() &&
           oxbuild::equal_ignoring_ascii_case(std::string_view(path).substr(path.size() - kSourceExtension.size()),
                                              kSourceExtension);
}

std::optional<std::vector<std::uint8_t>> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

// Delivers the script's steps to the program through the machine and the
// model host, writing the event lines.
class Session {
public:
    Session(const Program& p, const RunOptions& options, std::ostream& out, RunWatcher* watcher)
        : program_(p), trace_(out), host_(trace_, options.host), machine_(p, host_, options.limits),
          watcher_(watcher) {
        machine_.watch(options.debugger != nullptr ? options.debugger : watcher);
        if (options.lines) trace_.locate(watcher);
    }

    void run(const Script& script) {
        if (program_.handler(kLoadRow)) deliver(kLoadRow, {});
        for (const ScriptStep& step : script.steps) std::visit([&](const auto& s) { carry_out(s); }, step);
        if (program_.handler(kUnloadRow)) deliver(kUnloadRow, {});
    }

private:
    void carry_out(const EventStep& e) { deliver(e.row, e.values); }
    void carry_out(const WaitStep& w) {
        const std::int64_t until = host_.now() + w.ms;
        while (host_.next_interval_until(until)) {
            host_.interval_fired();
            if (program_.handler(kIntervalRow)) deliver(kIntervalRow, {});
        }
        host_.advance_clock(until);
    }
    void carry_out(const AnswerStep& a) { host_.queue_answer(a.number, a.values); }
    void carry_out(const TimeStep& t) { host_.set_calendar(t.time); }
    void carry_out(const SettingStep& s) {
        std::visit([&](const auto& v) { host_.preload_setting(s.name, v); }, s.value);
    }

    // The event's line, its handler's run, and what its by-reference
    // parameter holds at the end.
    void deliver(std::size_t row, std::span<const std::int32_t> values) {
        const oxbuild::EventRow& event = oxbuild::events()[row];
        const auto handler = program_.handler(row);
        const bool by_reference = !event.parameters.empty() && (event.parameters[0] & oxbuild::TYPE_BY_REFERENCE) != 0;
        const Function* f = handler ? &program_.functions[*handler] : nullptr;
        if (watcher_ != nullptr) watcher_->begin_event(f);
        const std::string reference_name =
            !by_reference ? "" : f != nullptr && !f->parameter_names.empty() ? f->parameter_names[0] : "result";
        trace_.line(event_line(event.name, values, reference_name, f != nullptr));
        if (f == nullptr) return;
        std::uint32_t result = 0;
        machine_.call_event(*handler, values, by_reference ? &result : nullptr);
        if (by_reference) trace_.line(result_line(reference_name, static_cast<std::int32_t>(result)));
    }

    const Program& program_;
    Trace trace_;
    ModelHost host_;
    Machine machine_;
    RunWatcher* watcher_;  // nullptr for a plain run
};

std::string fault_text(const Fault& f, const Program& p, const std::string& program_name) {
    std::string place = p.source ? p.source->place_of(f.address) : "";
    if (place.empty()) place = program_name;
    return place + ": runtime error: " + f.message + " (in " + f.function + ", code address " +
           std::to_string(f.address) + ")";
}

}  // namespace

Loaded load_module(std::span<const std::uint8_t> bytes, const std::string& name,
                   std::shared_ptr<const SourceMap> source) {
    Loaded out;
    try {
        const oxdump::Module m = oxdump::read_module(bytes);
        out.program = std::make_unique<Program>(load_program(m, std::move(source)));
    } catch (const oxdump::FormatError& e) {
        out.error = name + ": offset " + std::to_string(e.offset()) + ": " + e.what();
    }
    return out;
}

Loaded load_file(const std::string& path, const std::string& display_name) {
    const std::string& display = display_name.empty() ? path : display_name;
    if (!is_source_name(path)) {
        const auto bytes = read_bytes(path);
        if (!bytes) return {nullptr, display + ": cannot be read"};
        return load_module(*bytes, display, nullptr);
    }
    sourcemap::CompiledSource compiled = sourcemap::compile_source(path, display);
    if (!compiled.opened) return {nullptr, display + ": cannot be read"};
    if (compiled.errors != 0) {
        std::string error = compiled.messages;
        while (!error.empty() && error.back() == '\n') error.pop_back();
        return {nullptr, error.empty() ? display + ": does not compile" : error};
    }
    return load_module(compiled.module, display, std::move(compiled.map));
}

RunOutcome run_program(const Program& program, const std::string& program_name, const Script& script,
                       const RunOptions& options, std::ostream& trace) {
    RunOutcome outcome;
    std::optional<RunWatcher> watcher;
    if (options.lines || options.coverage != nullptr) watcher.emplace(program);
    try {
        Session(program, options, trace, watcher ? &*watcher : nullptr).run(script);
    } catch (const Fault& f) {
        outcome.status = kExitRuntimeError;
        outcome.error = fault_text(f, program, program_name);
    } catch (const std::bad_alloc&) {
        outcome.status = kExitRuntimeError;
        outcome.error = program_name + ": runtime error: out of memory";
    }
    // A run that ended in a runtime error still counts what it ran.
    if (options.coverage != nullptr) options.coverage->add(program, *watcher);
    return outcome;
}

}  // namespace oxrun
