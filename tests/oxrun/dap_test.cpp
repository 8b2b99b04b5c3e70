// The debug adapter through a pipe, as an editor drives it: the requests in
// the order a client sends them, each stop with its reason and place, the
// stack and variables at it, and bad requests answered with an error while
// the adapter goes on.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "oxls/server_process.hpp"
#include "oxls/transport.hpp"
#include "run_support.hpp"
#include "support/test_support.hpp"

namespace {

using json = nlohmann::json;

constexpr int kWaitMilliseconds = 20000;

constexpr std::string_view kProgram =
    "int count;\n"                        // 1
    "#include \"lib.oxi\"\n"              // 2
    "OnClick(int x, int y, int keys)\n"   // 3
    "{\n"                                 // 4
    "    int step;\n"                     // 5
    "    step = x;\n"                     // 6
    "    bump(count, step);\n"            // 7
    "    MessageBeep(count / y);\n"       // 8
    "}\n"                                 // 9
    "OnDblClick(int x, int y, int keys)\n"  // 10
    "{\n"                                 // 11
    "    while (1) {\n"                   // 12
    "        count = count + 1;\n"        // 13
    "    }\n"                             // 14
    "}\n";                                // 15

// The adapter as a child process; requests go out numbered, and events are
// kept in order until a test waits for one.
class DapClient {
public:
    explicit DapClient(const oxtest::TempDir& dir) : adapter_(OXRUN_BINARY, "--dap"), dir_(dir) {}

    json request(const std::string& command, const json& arguments = json::object()) {
        const int seq = next_seq_++;
        send(json{{"seq", seq}, {"type", "request"}, {"command", command}, {"arguments", arguments}}.dump());
        while (true) {
            const json m = receive();
            if (m.is_null()) return json{{"success", false}, {"message", "no response in time"}};
            if (m["type"] == "response" && m["request_seq"] == seq) return m;
            events_.push_back(m);
        }
    }
    json body(const std::string& command, const json& arguments = json::object()) {
        const json r = request(command, arguments);
        EXPECT_TRUE(r["success"].get<bool>()) << command << ": " << r.dump();
        return r["body"];
    }
    std::string refusal(const std::string& command, const json& arguments = json::object()) {
        const json r = request(command, arguments);
        EXPECT_FALSE(r["success"].get<bool>()) << r.dump();
        return r.value("message", "");
    }
    void send(const std::string& body) { adapter_.write(oxls::frame(body)); }

    // The next event of the name; the others before it are kept in seen.
    json event(const std::string& name) {
        while (true) {
            while (!events_.empty()) {
                json m = events_.front();
                events_.erase(events_.begin());
                if (m["event"] == name) return m["body"];
                seen_.push_back(m);
            }
            const json m = receive();
            if (m.is_null()) return json{{"missing", name}};
            events_.push_back(m);
        }
    }
    // The output events' texts seen so far.
    std::string output(const std::string& category) const {
        std::string text;
        for (const json& m : seen_)
            if (m["event"] == "output" && m["body"]["category"] == category) text += m["body"]["output"].get<std::string>();
        return text;
    }
    // The stop's reason, and the innermost frame as "function file:line".
    std::string stop() {
        const json stopped = event("stopped");
        return stopped.value("reason", "?") + " " + top_frame();
    }
    std::string top_frame() {
        const json f = body("stackTrace", {{"threadId", 1}})["stackFrames"][0];
        return f["name"].get<std::string>() + " " + f["source"]["name"].get<std::string>() + ":" +
               std::to_string(f["line"].get<int>());
    }
    // name=value (type) of a scope's variables.
    std::string variables(int reference) {
        std::string text;
        const json list = body("variables", {{"variablesReference", reference}})["variables"];
        for (const json& v : list)
            text += v["name"].get<std::string>() + "=" + v["value"].get<std::string>() + " (" +
                    v["type"].get<std::string>() + ") ";
        return text;
    }
    void launch(const json& arguments) {
        body("initialize", {{"adapterID", "oxrun"}});
        body("launch", arguments);
        event("initialized");
    }
    std::string path(std::string_view name) const { return dir_ / name; }
    int wait() { return adapter_.wait(); }

private:
    json receive() {
        while (true) {
            if (const auto b = frames_.next()) return json::parse(*b);
            char chunk[65536];
            const long n = adapter_.read_some(chunk, sizeof chunk, kWaitMilliseconds);
            if (n <= 0) return nullptr;
            frames_.feed({chunk, static_cast<std::size_t>(n)});
        }
    }

    oxtest::ServerProcess adapter_;
    const oxtest::TempDir& dir_;
    oxls::FrameReader frames_;
    std::vector<json> events_, seen_;
    int next_seq_ = 1;
};

void write_program(const oxtest::TempDir& dir, std::string_view script) {
    oxtest::write_file(dir / "lib.oxi", oxruntest::kBumpLibrary);
    oxtest::write_file(dir / "prog.oxs", kProgram);
    oxtest::write_file(dir / "s.oxt", script);
}

}  // namespace

// OnClick 2 1 runs bump once (count 2) and beeps; OnClick 2 0 runs bump
// again (count 4) and divides by zero.
TEST(OxrunDebugAdapter, BreakpointsSteppingStackAndVariables) {
    oxtest::TempDir dir;
    write_program(dir, "OnClick 2 1 0\nOnClick 2 0 0\n");
    DapClient c(dir);
    const json capabilities = c.body("initialize", {{"adapterID", "oxrun"}});
    EXPECT_TRUE(capabilities["supportsFunctionBreakpoints"].get<bool>());
    EXPECT_TRUE(capabilities["supportsConfigurationDoneRequest"].get<bool>());
    EXPECT_EQ(c.refusal("launch"), "missing argument program");
    EXPECT_EQ(c.refusal("launch", {{"program", c.path("none.oxs")}}), c.path("none.oxs") + ": cannot be read");
    c.body("launch", {{"program", c.path("prog.oxs")}, {"script", c.path("s.oxt")}});
    c.event("initialized");

    const json lines = c.body("setBreakpoints", {{"source", {{"path", c.path("prog.oxs")}}},
                                                 {"breakpoints", json::array({{{"line", 5}}, {{"line", 40}}})}})["breakpoints"];
    EXPECT_EQ(lines[0]["line"], 6);
    EXPECT_TRUE(lines[0]["verified"].get<bool>());
    EXPECT_FALSE(lines[1]["verified"].get<bool>());
    EXPECT_EQ(c.refusal("setBreakpoints", {{"source", {{"path", c.path("other.oxs")}}}, {"breakpoints", json::array()}}),
              c.path("other.oxs") + " is not part of the program");
    const json functions = c.body("setFunctionBreakpoints", {{"breakpoints", json::array({{{"name", "OnClick"}}, {{"name", "nope"}}})}});
    EXPECT_TRUE(functions["breakpoints"][0]["verified"].get<bool>());
    EXPECT_FALSE(functions["breakpoints"][1]["verified"].get<bool>());
    EXPECT_EQ(c.refusal("restart"), "unknown request restart");
    c.send("not json");
    EXPECT_EQ(c.refusal("stackTrace", {{"threadId", 1}}), "the program is not stopped");

    c.body("configurationDone");
    EXPECT_EQ(c.stop(), "function breakpoint OnClick prog.oxs:6");
    EXPECT_EQ(c.body("threads")["threads"].size(), 1u);
    const json scopes = c.body("scopes", {{"frameId", 1}})["scopes"];
    EXPECT_EQ(scopes[0]["name"], "Locals");
    EXPECT_EQ(c.variables(scopes[0]["variablesReference"]), "x=2 (int) y=1 (int) keys=0 (int) step=0 (int) ");
    c.body("next", {{"threadId", 1}});
    EXPECT_EQ(c.stop(), "step OnClick prog.oxs:7");
    c.body("stepIn", {{"threadId", 1}});
    EXPECT_EQ(c.stop(), "step bump lib.oxi:3");
    const json stack = c.body("stackTrace", {{"threadId", 1}})["stackFrames"];
    ASSERT_EQ(stack.size(), 2u);
    EXPECT_EQ(stack[1]["name"], "OnClick");
    EXPECT_EQ(stack[1]["line"], 7);
    EXPECT_EQ(c.variables(2), "n=0 (refers to count) (int&) by=2 (int) ");
    EXPECT_EQ(c.body("evaluate", {{"expression", "step"}, {"frameId", 2}})["result"], "2");
    EXPECT_EQ(c.refusal("evaluate", {{"expression", "missing"}, {"frameId", 1}}), "no variable missing here");
    c.body("stepOut", {{"threadId", 1}});
    EXPECT_EQ(c.stop(), "step OnClick prog.oxs:8");
    EXPECT_EQ(c.variables(1), "count=2 (int) ");

    c.body("setFunctionBreakpoints", {{"breakpoints", json::array()}});
    const json library = c.body("setBreakpoints", {{"source", {{"path", c.path("lib.oxi")}}},
                                                   {"breakpoints", json::array({{{"line", 2}}})}})["breakpoints"];
    EXPECT_EQ(library[0]["line"], 3);
    c.body("continue", {{"threadId", 1}});
    EXPECT_EQ(c.stop(), "breakpoint OnClick prog.oxs:6");
    c.body("continue", {{"threadId", 1}});
    EXPECT_EQ(c.stop(), "breakpoint bump lib.oxi:3");
    EXPECT_EQ(c.body("evaluate", {{"expression", "n"}})["result"], "2 (refers to count)");
    c.body("continue", {{"threadId", 1}});
    const json error = c.event("stopped");
    EXPECT_EQ(error["reason"], "exception");
    EXPECT_EQ(error["text"], "division by zero");
    EXPECT_EQ(c.top_frame(), "OnClick prog.oxs:8");
    c.body("continue", {{"threadId", 1}});
    EXPECT_EQ(c.event("exited")["exitCode"], 1);
    c.event("terminated");
    EXPECT_EQ(c.output("stdout"), "OnClick(2, 1, 0)\n  MessageBeep(2)\nOnClick(2, 0, 0)\n");
    // bump takes 24 bytes; then step = x (14) and the call with a variable
    // and an expression (18) put the beep at 56.
    EXPECT_EQ(c.output("stderr"),
              "oxrun: " + c.path("prog.oxs") + "(8): runtime error: division by zero (in OnClick, code address 56)\n");
    c.body("disconnect");
    EXPECT_EQ(c.wait(), 0);
}

TEST(OxrunDebugAdapter, EntryPauseAndTerminate) {
    oxtest::TempDir dir;
    write_program(dir, "OnDblClick 0 0 0\n");
    DapClient c(dir);
    c.launch({{"program", c.path("prog.oxs")}, {"script", c.path("s.oxt")}, {"stopOnEntry", true},
              {"maxSteps", 4000000000}});
    c.body("configurationDone");
    EXPECT_EQ(c.stop(), "entry OnDblClick prog.oxs:12");
    c.body("continue", {{"threadId", 1}});
    c.body("pause", {{"threadId", 1}});
    const std::string paused = c.stop();
    EXPECT_TRUE(paused.starts_with("pause OnDblClick prog.oxs:1")) << paused;
    c.body("terminate");
    EXPECT_EQ(c.event("exited")["exitCode"], 0);
    c.event("terminated");
    c.body("disconnect");
    EXPECT_EQ(c.wait(), 0);
}
