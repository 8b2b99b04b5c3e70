#include "oxrun/dap.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <streambuf>

#include <nlohmann/json.hpp>

#include "oxls/transport.hpp"
#include "oxrun/debugger.hpp"
#include "oxrun/runner.hpp"
#include "oxrun/script.hpp"
#include "platform/platform.hpp"
#include "symbols/host_tables.hpp"

namespace oxrun {

namespace {

using json = nlohmann::json;

constexpr int kThread = 1;
constexpr std::int64_t kGlobalsReference = 1;  // locals of frame n are 2n
constexpr std::size_t kReadSize = 1 << 16;

// A request that cannot be served: its error response's message.
struct BadRequest {
    std::string message;
};

// The run is to end now (disconnect, terminate, or the client gone).
struct EndRun {};

const json& argument(const json& request, const char* name) {
    static const json none;
    const json& args = request.contains("arguments") ? request["arguments"] : none;
    if (!args.is_object() || !args.contains(name)) throw BadRequest{std::string("missing argument ") + name};
    return args[name];
}

std::optional<json> optional_argument(const json& request, const char* name) {
    if (!request.contains("arguments") || !request["arguments"].is_object() || !request["arguments"].contains(name))
        return std::nullopt;
    return request["arguments"][name];
}

std::string_view reason_name(StopReason r) {
    switch (r) {
        case StopReason::entry: return "entry";
        case StopReason::breakpoint: return "breakpoint";
        case StopReason::function_breakpoint: return "function breakpoint";
        case StopReason::step: return "step";
        case StopReason::pause: return "pause";
        default: return "exception";
    }
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BadRequest{path + ": cannot be read"};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Trace lines become output events, a line at a time.
class OutputLines final : public std::streambuf {
public:
    explicit OutputLines(std::function<void(const std::string&)> line) : line_(std::move(line)) {}

protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return 0;
        pending_ += static_cast<char>(c);
        if (c == '\n') line_(std::exchange(pending_, {}));
        return c;
    }

private:
    std::function<void(const std::string&)> line_;
    std::string pending_;
};

class Adapter {
public:
    Adapter(MessageSource& in, const std::function<void(const std::string&)>& send) : in_(in), send_(send) {}

    // Requests until disconnect or the input's end.
    void serve() {
        while (!disconnected_) {
            const auto body = in_.next();
            if (!body) return;
            receive(*body);
        }
    }

private:
    using Handler = void (Adapter::*)(const json&);

    void receive(const std::string& body) {
        json request = json::parse(body, nullptr, false);
        if (request.is_discarded() || !request.is_object()) {
            send({{"type", "response"}, {"request_seq", 0}, {"success", false}, {"command", ""},
                  {"message", "the message is not a JSON object"}});
            return;
        }
        if (request.value("type", "") != "request") return;
        handle(request);
    }

    void handle(const json& request) {
        static const std::map<std::string, Handler> handlers = {
            {"initialize", &Adapter::initialize}, {"launch", &Adapter::launch},
            {"setBreakpoints", &Adapter::set_breakpoints}, {"setFunctionBreakpoints", &Adapter::set_function_breakpoints},
            {"setExceptionBreakpoints", &Adapter::set_exception_breakpoints},
            {"configurationDone", &Adapter::configuration_done}, {"threads", &Adapter::threads},
            {"stackTrace", &Adapter::stack_trace}, {"scopes", &Adapter::scopes}, {"variables", &Adapter::variables},
            {"evaluate", &Adapter::evaluate}, {"continue", &Adapter::resume_continue}, {"next", &Adapter::next},
            {"stepIn", &Adapter::step_in}, {"stepOut", &Adapter::step_out}, {"pause", &Adapter::pause},
            {"disconnect", &Adapter::disconnect}, {"terminate", &Adapter::terminate},
        };
        const std::string command = request.value("command", "");
        try {
            const auto it = handlers.find(command);
            if (it == handlers.end()) throw BadRequest{"unknown request " + command};
            (this->*it->second)(request);
        } catch (const BadRequest& e) {
            refuse(request, e.message);
        } catch (const json::exception& e) {
            refuse(request, std::string("bad arguments: ") + e.what());
        }
    }

    // Messages out.
    void send(json message) {
        message["seq"] = next_seq_++;
        send_(message.dump());
    }
    void respond(const json& request, json body = json::object()) {
        send({{"type", "response"}, {"request_seq", request.value("seq", 0)}, {"success", true},
              {"command", request.value("command", "")}, {"body", std::move(body)}});
    }
    void refuse(const json& request, const std::string& message) {
        send({{"type", "response"}, {"request_seq", request.value("seq", 0)}, {"success", false},
              {"command", request.value("command", "")}, {"message", message}});
    }
    void event(const std::string& name, json body = json::object()) {
        send({{"type", "event"}, {"event", name}, {"body", std::move(body)}});
    }

    // initialize   -> the capabilities
    void initialize(const json& request) {
        respond(request, {{"supportsConfigurationDoneRequest", true},
                          {"supportsFunctionBreakpoints", true},
                          {"supportsEvaluateForHovers", true},
                          {"supportsTerminateRequest", true}});
    }

    // hide: [NAME...] of launch: standard functions left out of the output.
    void hide(const json& names) {
        for (const json& name : names) {
            const std::string wanted = name.get<std::string>();
            const auto all = oxbuild::standard_functions();
            const auto f = std::find_if(all.begin(), all.end(), [&](const auto& s) { return s.name == wanted; });
            if (f == all.end()) throw BadRequest{"no standard function " + wanted};
            options_.host.hidden.insert(f->number);
        }
    }

    // launch { program, script?, stopOnEntry?, maxSteps?, hide? }   -> then the initialized event
    void launch(const json& request) {
        if (program_) throw BadRequest{"a program is already launched"};
        const std::string path = argument(request, "program").get<std::string>();
        if (const auto script = optional_argument(request, "script")) {
            const std::string name = script->get<std::string>();
            try {
                script_ = parse_script(read_text(name), name);
            } catch (const ScriptError& e) {
                throw BadRequest{e.what()};
            }
        }
        Loaded loaded = load_file(path);
        if (!loaded.program) throw BadRequest{loaded.error};
        program_ = std::move(loaded.program);
        program_name_ = path;
        debugger_ = std::make_unique<Debugger>(
            *program_, [this](StopReason r, const std::string& text) { stopped(r, text); },
            [this] { poll(); });
        if (optional_argument(request, "stopOnEntry").value_or(false).get<bool>()) debugger_->stop_on_entry();
        if (const auto steps = optional_argument(request, "maxSteps")) options_.limits.max_steps = steps->get<std::uint64_t>();
        if (const auto names = optional_argument(request, "hide")) hide(*names);
        respond(request);
        event("initialized");
        if (configured_) run();
    }

    const sourcemap::SourceMap& source_map() const {
        if (!program_) throw BadRequest{"no program is launched"};
        if (!program_->source) throw BadRequest{"the program has no source lines"};
        return *program_->source;
    }

    json source_of(int file) const {
        const sourcemap::SourceFile& f = program_->source->files[static_cast<std::size_t>(file)];
        std::error_code error;
        const auto full = std::filesystem::absolute(f.path, error);
        return {{"name", std::filesystem::path(f.name).filename().string()},
                {"path", error ? f.path : full.lexically_normal().string()}};
    }

    // setBreakpoints { source, breakpoints: [{ line }] }   -> each verified
    // at the next line with code, or unverified past the last
    void set_breakpoints(const json& request) {
        const json& source = argument(request, "source");
        const std::string path = source.value("path", source.value("name", ""));
        const sourcemap::SourceMap& map = source_map();
        const auto file = map.file_named(path);
        if (!file) throw BadRequest{path + " is not part of the program"};
        std::set<std::int64_t>& stops = line_stops_[*file];
        stops.clear();
        json shown = json::array();
        for (const json& b : optional_argument(request, "breakpoints").value_or(json::array())) {
            const int line = b.at("line").get<int>();
            const auto code = map.line_with_code(*file, line);
            json entry = {{"id", next_breakpoint_++}, {"verified", code.has_value()}, {"source", source_of(*file)}};
            if (code) {
                entry["line"] = *code;
                stops.insert(map.addresses_of(*file, *code).front());
            } else {
                entry["line"] = line;
                entry["message"] = "no code at or after this line";
            }
            shown.push_back(std::move(entry));
        }
        arm();
        respond(request, {{"breakpoints", shown}});
    }

    // setFunctionBreakpoints { breakpoints: [{ name }] }   -> by function
    // or event handler name
    void set_function_breakpoints(const json& request) {
        if (!program_) throw BadRequest{"no program is launched"};
        function_stops_.clear();
        json shown = json::array();
        for (const json& b : argument(request, "breakpoints")) {
            const std::string name = b.at("name").get<std::string>();
            json entry = {{"id", next_breakpoint_++}, {"verified", false}};
            for (const Function& f : program_->functions)
                if (f.name == name) {
                    function_stops_.insert(f.entry);
                    entry["verified"] = true;
                    if (program_->source)
                        if (const auto* row = program_->source->line_at(f.entry)) {
                            entry["line"] = row->line;
                            entry["source"] = source_of(row->file);
                        }
                }
            if (!entry["verified"].get<bool>()) entry["message"] = "no function " + name;
            shown.push_back(std::move(entry));
        }
        arm();
        respond(request, {{"breakpoints", shown}});
    }

    // setExceptionBreakpoints   -> accepted: runtime errors always stop
    void set_exception_breakpoints(const json& request) { respond(request, {{"breakpoints", json::array()}}); }

    void arm() {
        std::set<std::int64_t> lines;
        for (const auto& [file, stops] : line_stops_) lines.insert(stops.begin(), stops.end());
        debugger_->set_breakpoints(std::move(lines), function_stops_);
    }

    // configurationDone   -> the run starts once the program is launched
    void configuration_done(const json& request) {
        if (configured_) throw BadRequest{"the configuration is already done"};
        configured_ = true;
        respond(request);
        if (program_) run();
    }

    // threads   -> the one thread
    void threads(const json& request) {
        respond(request, {{"threads", json::array({{{"id", kThread}, {"name", "main"}}})}});
    }

    const Debugger& stopped_debugger() const {
        if (!debugger_ || !debugger_->stopped()) throw BadRequest{"the program is not stopped"};
        return *debugger_;
    }

    // stackTrace   -> the frames, innermost first: function, source, line
    void stack_trace(const json& request) {
        const std::vector<FrameInfo> frames = stopped_debugger().stack();
        json shown = json::array();
        for (std::size_t k = 0; k < frames.size(); ++k) {
            json frame = {{"id", k + 1}, {"name", frames[k].function}, {"line", frames[k].line}, {"column", 1}};
            if (frames[k].file >= 0) frame["source"] = source_of(frames[k].file);
            shown.push_back(std::move(frame));
        }
        respond(request, {{"stackFrames", shown}, {"totalFrames", frames.size()}});
    }

    // scopes { frameId }   -> its locals and the globals
    void scopes(const json& request) {
        const auto frame = argument(request, "frameId").get<std::int64_t>();
        if (frame < 1 || static_cast<std::size_t>(frame) > stopped_debugger().stack().size())
            throw BadRequest{"no frame " + std::to_string(frame)};
        respond(request, {{"scopes", json::array({{{"name", "Locals"}, {"variablesReference", 2 * frame}, {"expensive", false}},
                                                  {{"name", "Globals"}, {"variablesReference", kGlobalsReference},
                                                   {"expensive", false}}})}});
    }

    // variables { variablesReference }   -> names, types and values
    void variables(const json& request) {
        const auto reference = argument(request, "variablesReference").get<std::int64_t>();
        const Debugger& d = stopped_debugger();
        const std::size_t frames = d.stack().size();
        if (reference != kGlobalsReference && (reference % 2 != 0 || reference < 2 || static_cast<std::size_t>(reference / 2) > frames))
            throw BadRequest{"no variables " + std::to_string(reference)};
        const std::vector<VariableShown> list =
            reference == kGlobalsReference ? d.globals() : d.locals(static_cast<std::size_t>(reference / 2 - 1));
        json shown = json::array();
        for (const VariableShown& v : list)
            shown.push_back({{"name", v.name}, {"value", v.value}, {"type", v.type}, {"variablesReference", 0}});
        respond(request, {{"variables", shown}});
    }

    // evaluate { expression, frameId? }   -> the value of a variable by name
    void evaluate(const json& request) {
        const std::string name = argument(request, "expression").get<std::string>();
        const auto frame = optional_argument(request, "frameId").value_or(1).get<std::int64_t>();
        const Debugger& d = stopped_debugger();
        const auto v = frame >= 1 ? d.find(static_cast<std::size_t>(frame - 1), name) : std::nullopt;
        if (!v) throw BadRequest{"no variable " + name + " here"};
        respond(request, {{"result", v->value}, {"type", v->type}, {"variablesReference", 0}});
    }

    // continue, next, stepIn, stepOut   -> the run goes on
    void go_on(const json& request, StepMode mode) {
        (void)stopped_debugger();
        debugger_->resume(mode);
        resumed_ = true;
        respond(request, mode == StepMode::none ? json{{"allThreadsContinued", true}} : json::object());
    }
    void resume_continue(const json& request) { go_on(request, StepMode::none); }
    void next(const json& request) { go_on(request, StepMode::over); }
    void step_in(const json& request) { go_on(request, StepMode::in); }
    void step_out(const json& request) { go_on(request, StepMode::out); }

    // pause   -> a running program stops at its next instruction
    void pause(const json& request) {
        if (running_ && !debugger_->stopped()) debugger_->pause();
        respond(request);
    }

    // disconnect   -> the run ends and so does the adapter
    void disconnect(const json& request) {
        respond(request);
        disconnected_ = true;
        if (running_) throw EndRun{};
    }

    // terminate   -> the run ends; the adapter waits for disconnect
    void terminate(const json& request) {
        respond(request);
        if (running_) throw EndRun{};
        if (!ended_) finish(std::nullopt);
    }

    // The run, from configurationDone to its end.
    void run() {
        if (running_ || ended_) return;
        running_ = true;
        OutputLines lines([this](const std::string& text) { event("output", {{"category", "stdout"}, {"output", text}}); });
        std::ostream trace(&lines);
        RunOptions options = options_;
        options.debugger = debugger_.get();
        std::optional<RunOutcome> outcome;
        try {
            outcome = run_program(*program_, program_name_, script_, options, trace);
        } catch (const EndRun&) {
        }
        running_ = false;
        finish(outcome);
    }

    void finish(const std::optional<RunOutcome>& outcome) {
        ended_ = true;
        if (outcome && outcome->status != kExitOk)
            event("output", {{"category", "stderr"}, {"output", "oxrun: " + outcome->error + "\n"}});
        event("exited", {{"exitCode", outcome ? outcome->status : kExitOk}});
        event("terminated");
    }

    // The run stopped: requests until one lets it go on.
    void stopped(StopReason reason, const std::string& text) {
        json body = {{"reason", reason_name(reason)}, {"threadId", kThread}, {"allThreadsStopped", true}};
        if (!text.empty()) body["text"] = body["description"] = text;
        event("stopped", body);
        resumed_ = false;
        while (!resumed_) {
            const auto request = in_.next();
            if (!request) throw EndRun{};
            receive(*request);
        }
    }

    // Requests that came while the program runs.
    void poll() {
        while (const auto request = in_.next_if_waiting()) receive(*request);
    }

    MessageSource& in_;
    const std::function<void(const std::string&)>& send_;
    std::int64_t next_seq_ = 1;
    std::unique_ptr<Program> program_;
    std::string program_name_;
    Script script_;
    RunOptions options_;
    std::unique_ptr<Debugger> debugger_;
    std::map<int, std::set<std::int64_t>> line_stops_;  // by file
    std::set<std::int64_t> function_stops_;
    int next_breakpoint_ = 1;
    bool configured_ = false, running_ = false, ended_ = false, resumed_ = false, disconnected_ = false;
};

// Standard input through the frame reader.
class StandardInput final : public MessageSource {
public:
    std::optional<std::string> next() override {
        while (true) {
            if (auto body = frames_.next()) return body;
            if (!read()) return std::nullopt;
        }
    }
    std::optional<std::string> next_if_waiting() override {
        if (auto body = frames_.next()) return body;
        if (!ended_ && oxbuild::platform::standard_input_waiting()) read();
        return frames_.next();
    }

private:
    bool read() {
        std::string chunk(kReadSize, '\0');
        const std::int64_t n =
            oxbuild::platform::read_standard_input(reinterpret_cast<unsigned char*>(chunk.data()), chunk.size());
        if (n <= 0) {
            ended_ = true;
            return false;
        }
        frames_.feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
        return true;
    }

    oxls::FrameReader frames_;
    bool ended_ = false;
};

}  // namespace

int serve_debug_adapter(MessageSource& in, const std::function<void(const std::string&)>& send) {
    Adapter(in, send).serve();
    return kExitOk;
}

int run_debug_adapter() {
    oxbuild::platform::binary_standard_streams();
    StandardInput in;
    return serve_debug_adapter(in, [](const std::string& body) {
        const std::string framed = oxls::frame(body);
        (void)oxbuild::platform::write_standard_output(reinterpret_cast<const unsigned char*>(framed.data()),
                                                       framed.size());
    });
}

}  // namespace oxrun
