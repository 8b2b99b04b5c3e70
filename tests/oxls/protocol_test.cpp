// oxls driven through a pipe with real JSON-RPC messages, checked against
// the command-line compiler for the same text.
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "oxls/cp932.hpp"
#include "oxls/lsp_client.hpp"
#include "support/test_support.hpp"

namespace oxtest {
namespace {

std::string example(const std::string& name) {
    std::ifstream in(std::string(OXBUILD_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("no " + from);
    return text.replace(at, from.size(), to);
}

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// file -> "LINE:TEXT" lines, in order.
using MessagesByFile = std::map<std::string, std::vector<std::string>>;

MessagesByFile command_line_messages(const TempDir& dir, const std::string& main) {
    const RunResult run = run_binary({main}, dir.path().string(), {"OXBUILD_MESSAGES=utf-8"});
    MessagesByFile by_file;
    static const std::regex kLine(R"(^(.+)\((\d+)\):(.*)$)");
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        // The server's messages have no trailing blank.
        while (!line.empty() && line.back() == ' ') line.pop_back();
        if (std::smatch m; std::regex_match(line, m, kLine)) by_file[base_name(m[1])].push_back(m[2].str() + ":" + m[3].str());
    }
    return by_file;
}

MessagesByFile server_messages(LspClient& lsp, const TempDir& dir, const std::vector<std::string>& files) {
    MessagesByFile by_file;
    for (const std::string& name : files)
        for (const json& d : lsp.diagnostics(file_uri(dir / name)))
            if (d["source"] == "oxbuild")
                by_file[name].push_back(std::to_string(d["range"]["start"]["line"].get<int>() + 1) + ":" +
                                        d["message"].get<std::string>());
    return by_file;
}

struct SourceCase {
    const char* name;
    std::string main;                            // code page 932
    std::map<std::string, std::string> includes;  // on disk, code page 932
};

std::vector<SourceCase> source_cases() {
    const std::string clock = example("clock.oxs");
    const std::string header = "#define LIMIT 10\nint shared;\nbad line here\n";
    return {
        {"clock", clock, {}},
        {"showcase", example("showcase.oxs"), {{"showcase.oxh", example("showcase.oxh")}}},
        {"clock with errors",
         replaced(replaced(replaced(clock, "ticks = ticks + 1;", "ticks = tick + 1;\n    $oops;"),
                           "SetInterval(0);", "SetInterval();\n    strcpy(caption, \"\x93\xfa\x96\x7b\x8c\xea\")"),
                  "int ticks, clicks;", "#module \"a\"\n#module \"b\"\nint ticks, clicks; int 9x;"),
         {}},
        {"errors in an include",
         "#include \"defs.oxh\"\n#include \"missing.oxh\"\nOnLoad(int &r)\n{\n    r = LIMIT + shared + nope;\n",
         {{"defs.oxh", header}}},
        {"comment to the end", "int a;\n/* never closed\n", {}},
        {"CR LF and an end-of-file mark", "int a;\r\nint a;\r\n x = 1;\r\n\x1a$$$ not read\r\n", {}},
    };
}

TEST(OxlsProtocol, UnsavedBuffersGetTheCommandLineCompilersMessages) {
    for (const SourceCase& c : source_cases()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<std::string> files{"prog.oxs"};
        for (const auto& [name, text] : c.includes) {
            write_file(dir / name, text);
            files.push_back(name);
        }
        write_file(dir / "prog.oxs", c.main);
        const MessagesByFile expected = command_line_messages(dir, "prog.oxs");
        EXPECT_EQ(expected.empty(), std::string(c.name) == "clock");
        write_file(dir / "prog.oxs", "this text on disk is not what the editor holds\n");

        LspClient lsp;
        lsp.start();
        lsp.open(file_uri(dir / "prog.oxs"), oxls::cp932_to_utf8(c.main));
        EXPECT_EQ(server_messages(lsp, dir, files), expected);
        EXPECT_EQ(lsp.stop(), 0);
    }
}

// Messages in English where the client asks for them, as the compiler
// prints them with OXBUILD_MESSAGES=en.
TEST(OxlsProtocol, GivesMessagesInEnglishWhenAsked) {
    TempDir dir;
    const std::string source = "int a;\nOnLoad(int &r)\n{\n    r = b;\n}\n";
    write_file(dir / "prog.oxs", source);
    const RunResult run = run_binary({"prog.oxs"}, dir.path().string(), {"OXBUILD_MESSAGES=en"});
    LspClient lsp;
    (void)lsp.result("initialize", {{"capabilities", json::object()}, {"initializationOptions", {{"messages", "en"}}}});
    lsp.open(file_uri(dir / "prog.oxs"), source);
    const json diagnostics = lsp.diagnostics(file_uri(dir / "prog.oxs"));
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(run.out.find("prog.oxs(4):" + diagnostics[0]["message"].get<std::string>() + "\n"), std::string::npos)
        << run.out << diagnostics.dump();
    EXPECT_EQ(lsp.stop(), 0);
}

// An open include file is read from the editor, not the disk, and its own
// messages are published on it.
TEST(OxlsProtocol, OpenIncludeFilesComeFromTheEditor) {
    TempDir dir;
    write_file(dir / "defs.oxh", "#define LIMIT 10\n");
    const std::string main = file_uri(dir / "prog.oxs");
    const std::string defs = file_uri(dir / "defs.oxh");
    LspClient lsp;
    lsp.start();
    lsp.open(main, "#include \"defs.oxh\"\nOnLoad(int &r)\n{\n    r = LIMIT + EXTRA;\n}\n");
    EXPECT_EQ(lsp.diagnostics(main).size(), 1u);
    lsp.open(defs, "#define LIMIT 10\n#define EXTRA 2\nint 9lives;\n");
    EXPECT_EQ(lsp.diagnostics(main), json::array());
    const json on_include = lsp.diagnostics(defs);
    ASSERT_EQ(on_include.size(), 1u) << on_include.dump();
    EXPECT_EQ(on_include[0]["range"]["start"]["line"], 2);
    lsp.notify("textDocument/didClose", {{"textDocument", {{"uri", defs}}}});
    EXPECT_EQ(lsp.diagnostics(main).size(), 1u);  // the disk's text again
    EXPECT_EQ(lsp.diagnostics(defs), json::array());
    EXPECT_EQ(lsp.stop(), 0);
}

// A module with an include file, and questions about it.
constexpr char kFeatures[] =
    "#include \"defs.oxh\"\n"          // 0
    "int total;\n"                     // 1
    "str name;\n"                      // 2
    "add(int a, int &sum);\n"          // 3
    "OnLoad(int &result)\n"            // 4
    "{\n"                              // 5
    "    int k;\n"                     // 6
    "    k = LIMIT;\n"                 // 7
    "    add(k, total);\n"             // 8
    "    SetField(1, 2, 3, 4);\n"      // 9
    "    \n"                           // 10
    "    result = k;\n"                // 11
    "}\n"                              // 12
    "add(int a, int &sum)\n"           // 13
    "{\n"                              // 14
    "    sum = sum + a;\n"             // 15
    "}\n"                              // 16
    "#define SOUND 4\n"                // 17
    "#wave SOUND \"s.wav\"\n"          // 18
    "#";                               // 19

const json kSnippetClient = {{"textDocument", {{"completion", {{"completionItem", {{"snippetSupport", true}}}}}}}};

struct Question {
    const char* method;
    int line;
    int character;
    std::vector<std::string> expected;  // each in the dumped result
    std::vector<std::string> absent = {};
};

TEST(OxlsProtocol, AnswersQuestionsAboutNamesFromTheCompilersReading) {
    TempDir dir;
    write_file(dir / "defs.oxh", "#define LIMIT 10\n");
    const std::string uri = file_uri(dir / "prog.oxs");
    const std::string defs = file_uri(dir / "defs.oxh");
    const Question questions[] = {
        {"textDocument/hover", 8, 12, {"int total", "global variable, slot 0"}},
        {"textDocument/hover", 7, 4, {"int k", "local variable of OnLoad (block level 1), slot 0"}},
        {"textDocument/hover", 15, 5, {"int &sum", "parameter of add, slot 0 of the int & locals"}},
        {"textDocument/hover", 9, 6, {"SetField(int, int, int, int)", "standard function 1 (0x01)"}},
        {"textDocument/hover", 4, 2, {"OnLoad(int &result)", "load handler field (offset 208)"}},
        {"textDocument/hover", 7, 9, {"#define LIMIT 10"}},
        {"textDocument/hover", 3, 1, {"add(int a, int &sum)", "prototype"}},
        {"textDocument/definition", 8, 5, {uri, R"("start":{"character":0,"line":13})"}},
        {"textDocument/definition", 11, 14, {R"("start":{"character":8,"line":6})"}},
        {"textDocument/definition", 7, 9, {defs, R"("start":{"character":8,"line":0})"}},
        {"textDocument/definition", 0, 12, {defs}},
        {"textDocument/completion", 10, 4,
         {R"("label":"k")", R"("label":"result")", R"("label":"total")", R"("label":"LIMIT")",
          "SetField(${1:int}, ${2:int}, ${3:int}, ${4:int})", "add(${1:a}, ${2:sum})", R"("label":"while")",
          R"("label":"uint")"},
         {R"("label":"sum")", R"("label":"include")", R"("label":"OnClick")"}},
        {"textDocument/completion", 13, 0,
         {R"(OnClick(int ${1:arg1}, int ${2:arg2}, int ${3:arg3})\n{)", R"("label":"int")"},
         {R"("label":"while")", R"("label":"SetField")", R"("label":"total")"}},
        {"textDocument/completion", 19, 1, {R"("label":"include")", R"("label":"bitmap")"}, {R"("label":"while")"}},
        {"textDocument/signatureHelp", 9, 19, {"SetField(int, int, int, int)", R"("activeParameter":2)"}},
        {"textDocument/signatureHelp", 8, 11, {"add(int a, int &sum)", R"("activeParameter":1)"}},
        {"textDocument/documentSymbol", 0, 0,
         {R"("name":"total")", R"("name":"name")", R"("name":"OnLoad")", R"("name":"defs.oxh")", R"("name":"k")",
          R"("name":"wave SOUND")"}},
    };
    LspClient lsp;
    lsp.start(kSnippetClient);
    lsp.open(uri, kFeatures);
    for (const Question& q : questions) {
        SCOPED_TRACE(std::string(q.method) + " " + std::to_string(q.line) + ":" + std::to_string(q.character));
        const std::string answer = lsp.result(q.method, LspClient::at(uri, q.line, q.character)).dump();
        for (const std::string& e : q.expected) EXPECT_NE(answer.find(e), std::string::npos) << e << " in " << answer;
        for (const std::string& a : q.absent) EXPECT_EQ(answer.find(a), std::string::npos) << a << " in " << answer;
    }
}

// Incremental changes with text beyond ASCII, under both position units.
TEST(OxlsProtocol, IncrementalChangesCountPositionsInTheNegotiatedUnit) {
    struct Unit {
        json capabilities;
        const char* name;
        int japanese;  // width of the three characters of 日本語
        int emoji;     // width of one character outside the basic plane
    };
    const Unit units[] = {{json::object(), "utf-16", 3, 2},
                          {{{"general", {{"positionEncodings", {"utf-8", "utf-16"}}}}}, "utf-8", 9, 4}};
    for (const Unit& u : units) {
        SCOPED_TRACE(u.name);
        TempDir dir;
        const std::string uri = file_uri(dir / "prog.oxs");
        LspClient lsp;
        EXPECT_EQ(lsp.start(u.capabilities)["positionEncoding"], u.name);
        lsp.open(uri, "str s;\nOnLoad(int &r)\n{\n    strcpy(s, \"\");\n    r = 1;\n}\n");
        const auto change = [&](int line, int from, int to, const std::string& text) {
            const json range = {{"start", {{"line", line}, {"character", from}}}, {"end", {{"line", line}, {"character", to}}}};
            lsp.notify("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", 2}}},
                                                  {"contentChanges", {{{"range", range}, {"text", text}}}}});
        };
        change(3, 15, 15, "日本語😀");
        const json unmappable = lsp.diagnostics(uri);
        ASSERT_EQ(unmappable.size(), 1u) << unmappable.dump();
        EXPECT_EQ(unmappable[0]["range"]["start"]["character"], 15 + u.japanese);
        EXPECT_EQ(unmappable[0]["range"]["end"]["character"], 15 + u.japanese + u.emoji);

        // Drop the emoji, then write a statement after the Japanese text.
        change(3, 15 + u.japanese, 15 + u.japanese + u.emoji, "");
        const int end_of_call = 15 + u.japanese + 3;  // past `");`
        change(3, end_of_call, end_of_call, " x = 1;");
        const json messages = lsp.diagnostics(uri);
        ASSERT_EQ(messages.size(), 1u) << messages.dump();
        EXPECT_EQ(messages[0]["message"], "シンボルが見つかりません : x");
        EXPECT_EQ(messages[0]["range"]["start"]["character"], end_of_call + 1);
        EXPECT_EQ(messages[0]["range"]["end"]["character"], end_of_call + 2);
        const json hover = lsp.result("textDocument/hover", LspClient::at(uri, 3, 11));
        EXPECT_EQ(hover["range"]["start"]["character"], 11) << hover.dump();
        EXPECT_EQ(lsp.stop(), 0);
    }
}

// Nothing a client sends makes the server stop answering.
TEST(OxlsProtocol, BadMessagesGetErrorsAndTheServerGoesOn) {
    LspClient lsp;
    EXPECT_EQ(lsp.call("textDocument/hover", LspClient::at("file:///x.oxs", 0, 0))["error"]["code"], -32002);
    lsp.start();
    const auto raw = [&](const std::string& body) {
        lsp.send_raw("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        return lsp.receive();
    };
    EXPECT_EQ(raw("{not json")["error"]["code"], -32700);
    EXPECT_EQ(raw("{\"jsonrpc\":\"2.0\",\"id\":7,\"method\":\"x\",\"params\":\"\xff\xfe\"}")["error"]["code"], -32700);
    EXPECT_EQ(raw("[1,2,3]")["error"]["code"], -32600);
    lsp.send_raw("garbage without a header end\r\nX-Other: 1\r\n\r\n\x01\x02");
    EXPECT_EQ(lsp.call("no/such/method", json::object())["error"]["code"], -32601);
    EXPECT_EQ(lsp.call("textDocument/hover", {{"textDocument", {{"uri", "file:///x.oxs"}}}})["error"]["code"], -32602);
    EXPECT_TRUE(lsp.result("textDocument/hover", LspClient::at("file:///closed.oxs", 1, 1)).is_null());
    lsp.notify("textDocument/didChange", {{"textDocument", {{"uri", "file:///closed.oxs"}}}, {"contentChanges", 5}});
    lsp.open("file:///tmp/oxls-any.oxs", std::string("int a;\n\x7f\x01\x02 int b;\n") + std::string(200000, '{'));
    lsp.notify("textDocument/didChange",
               {{"textDocument", {{"uri", "file:///tmp/oxls-any.oxs"}}},
                {"contentChanges", {{{"range", {{"start", {{"line", 99}, {"character", -4}}}, {"end", {{"line", -1}, {"character", 1 << 30}}}}}, {"text", "x"}}}}});
    EXPECT_FALSE(lsp.diagnostics("file:///tmp/oxls-any.oxs").empty());
    EXPECT_EQ(lsp.result("textDocument/hover", LspClient::at("file:///tmp/oxls-any.oxs", 0, 4))["contents"]["value"],
              "```oxs\nint a\n```\n\nglobal variable, slot 0 of the int globals");
    EXPECT_EQ(lsp.stop(), 0);
}

TEST(OxlsEncoding, ConvertsCodePage932BothWays) {
    struct Case {
        std::string cp932;
        std::string utf8;
    };
    const Case cases[] = {
        {"abc\\~", "abc\\~"},
        {"\xb1\xdf", "ｱﾟ"},                       // half-width katakana, one byte each
        {"\x93\xfa\x96\x7b", "日本"},
        {"\x81\x5f\x81\x60", "＼～"},
        {"\xfa\x40\x87\x54\x81\xca", "ⅰⅠ￢"},  // of two codes, the one Windows writes
    };
    for (const Case& c : cases) {
        EXPECT_EQ(oxls::cp932_to_utf8(c.cp932), c.utf8);
        const oxls::Cp932Text back = oxls::utf8_to_cp932(c.utf8);
        EXPECT_EQ(back.bytes, c.cp932);
        EXPECT_TRUE(back.unmappable.empty());
    }
    EXPECT_EQ(oxls::cp932_to_utf8("\xee\xef\x82"), "ⅰ\xEF\xBF\xBD");  // the other code reads the same; a lone lead byte
    const oxls::Cp932Text lossy = oxls::utf8_to_cp932("a😀é\xff");
    EXPECT_EQ(lossy.bytes, "a???");
    EXPECT_EQ(lossy.unmappable, (std::vector<std::size_t>{1, 5, 7}));
}

}  // namespace
}  // namespace oxtest
