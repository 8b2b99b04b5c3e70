// The language server's features beyond reading one name, through the pipe:
// references and rename across include files, workspace symbols, semantic
// tokens, folding, inlay hints, its own hints, code actions and formatting.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "oxls/lsp_client.hpp"
#include "support/test_support.hpp"

namespace oxtest {
namespace {

constexpr char kDefs[] = "#define LIMIT 10\nint shared;\n";
constexpr char kMain[] =
    "#include \"defs.oxh\"\n"           // 0
    "int total;\n"                      // 1
    "str s;\n"                          // 2
    "add(int a, int &sum);\n"           // 3
    "OnLoad(int &result)\n"             // 4
    "{\n"                               // 5
    "    int k;\n"                      // 6
    "    k = LIMIT;\n"                  // 7
    "    add(k, total);\n"              // 8
    "    strcpy(s, \"total\");\n"       // 9
    "    SetField(1, 2, 3, total);\n"   // 10
    "    result = k;\n"                 // 11
    "}\n"                               // 12
    "/* over\n"                         // 13
    "   lines */\n"                     // 14
    "add(int a, int &sum)\n"            // 15
    "{\n"                               // 16
    "    sum = sum + a + shared;\n"     // 17
    "}\n"                               // 18
    "#menu 1\n"                         // 19
    "{\n"                               // 20
    "    MENUITEM \"a\", 1, 0\n"        // 21
    "}\n";                              // 22

// "URI-name line:start-end" for each location.
std::vector<std::string> places(const json& locations) {
    std::vector<std::string> out;
    for (const json& l : locations) {
        const std::string uri = l["uri"];
        const json& r = l["range"];
        out.push_back(uri.substr(uri.rfind('/') + 1) + " " + std::to_string(r["start"]["line"].get<int>()) + ":" +
                      std::to_string(r["start"]["character"].get<int>()) + "-" +
                      std::to_string(r["end"]["character"].get<int>()));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Applies text edits to an ASCII text.
std::string applied(std::string text, json edits) {
    const auto offset = [&](const json& p) {
        std::size_t at = 0;
        for (int line = 0; line < p["line"].get<int>(); ++line) at = text.find('\n', at) + 1;
        return at + p["character"].get<std::size_t>();
    };
    std::vector<json> sorted(edits.begin(), edits.end());
    std::sort(sorted.begin(), sorted.end(), [&](const json& x, const json& y) {
        return offset(x["range"]["start"]) > offset(y["range"]["start"]);
    });
    for (const json& e : sorted) {
        const std::size_t from = offset(e["range"]["start"]), to = offset(e["range"]["end"]);
        text.replace(from, to - from, e["newText"].get<std::string>());
    }
    return text;
}

class OxlsFeatures : public ::testing::Test {
protected:
    void SetUp() override {
        write_file(dir / "defs.oxh", kDefs);
        lsp.start();
        lsp.open(uri, kMain);
    }
    void TearDown() override { EXPECT_EQ(lsp.stop(), 0); }
    json ask(const std::string& method, int line, int character, json extra = json::object()) {
        json params = LspClient::at(uri, line, character);
        params.update(extra);
        return lsp.call(method, params);
    }

    TempDir dir;
    std::string uri = file_uri(dir / "prog.oxs");
    LspClient lsp;
};

TEST_F(OxlsFeatures, FindsReferencesAndHighlightsAcrossIncludeFiles) {
    struct Case {
        int line, character;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {1, 5, {"prog.oxs 10:22-27", "prog.oxs 1:4-9", "prog.oxs 8:11-16"}},  // total, not the string "total"
        {8, 5, {"prog.oxs 15:0-3", "prog.oxs 3:0-3", "prog.oxs 8:4-7"}},      // add: prototype, call, definition
        {7, 9, {"defs.oxh 0:8-13", "prog.oxs 7:8-13"}},                      // LIMIT, defined in the include file
        {17, 21, {"defs.oxh 1:4-10", "prog.oxs 17:20-26"}},                  // shared
        {10, 6, {"prog.oxs 10:4-12"}},                                       // a standard function: its calls
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.line) + ":" + std::to_string(c.character));
        const json found = ask("textDocument/references", c.line, c.character, {{"context", {{"includeDeclaration", true}}}});
        EXPECT_EQ(places(found["result"]), c.expected);
    }
    const json highlights = ask("textDocument/documentHighlight", 17, 10)["result"];
    EXPECT_EQ(highlights.size(), 3u) << highlights.dump();  // sum: the parameter and its two uses
}

TEST_F(OxlsFeatures, RenamesEverywhereTheCompilerReadTheNameAndRefusesWhatCannotBeRenamed) {
    const json edit = ask("textDocument/rename", 7, 9, {{"newName", "MAXIMUM"}})["result"];
    ASSERT_TRUE(edit.contains("changes")) << edit.dump();
    EXPECT_EQ(edit["changes"].size(), 2u);
    EXPECT_EQ(applied(kMain, edit["changes"][uri]).find("k = MAXIMUM;"), std::string(kMain).find("k = LIMIT;"));
    EXPECT_EQ(applied(kDefs, edit["changes"][file_uri(dir / "defs.oxh")]), "#define MAXIMUM 10\nint shared;\n");
    const json prepared = ask("textDocument/prepareRename", 1, 6)["result"];
    EXPECT_EQ(prepared["placeholder"], "total");

    struct Refusal {
        int line, character;
        std::string method, reason;
        json extra = json::object();
    };
    const Refusal refusals[] = {
        {10, 6, "textDocument/prepareRename", "a standard function cannot be renamed: SetField"},
        {4, 2, "textDocument/prepareRename", "an event's name cannot be renamed: OnLoad"},
        {6, 5, "textDocument/prepareRename", "a keyword is no name: int"},
        {9, 16, "textDocument/prepareRename", "there is no name to rename here"},  // inside a string
        {13, 4, "textDocument/prepareRename", "there is no name to rename here"},  // inside a comment
        {1, 6, "textDocument/rename", "not a usable name: while", {{"newName", "while"}}},
        {1, 6, "textDocument/rename", "not a usable name: 9lives", {{"newName", "9lives"}}},
    };
    LspClient english;
    (void)english.result("initialize", {{"capabilities", json::object()}, {"initializationOptions", {{"messages", "en"}}}});
    english.open(uri, kMain);
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.reason);
        json params = LspClient::at(uri, r.line, r.character);
        params.update(r.extra);
        const json answer = english.call(r.method, params);
        EXPECT_EQ(answer["error"]["code"], -32803) << answer.dump();
        EXPECT_EQ(answer["error"]["message"], r.reason);
    }
    EXPECT_EQ(english.stop(), 0);
}

TEST_F(OxlsFeatures, ListsTheNamesOfTheOpenDocumentsAndTheirIncludes) {
    std::vector<std::string> found;
    for (const std::string query : {"add", "LIM", "shar"})
        for (const json& s : lsp.result("workspace/symbol", {{"query", query}}))
            found.push_back(s["name"].get<std::string>() + " " + std::to_string(s["kind"].get<int>()) + " " +
                            s["containerName"].get<std::string>());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"LIMIT 14 defs.oxh", "add 12 prog.oxs", "shared 13 defs.oxh"}));
}

TEST_F(OxlsFeatures, ColoursNamesByWhatTheCompilerFoundThemToBe) {
    const json answer = lsp.result("textDocument/semanticTokens/full", {{"textDocument", {{"uri", uri}}}});
    const std::vector<std::string> types = {"variable", "parameter", "function", "event", "macro", "keyword"};
    const std::vector<std::string> modifiers = {"declaration", "defaultLibrary", "global", "reference"};
    std::vector<std::string> marks;
    int line = 0, character = 0;
    const json& data = answer["data"];
    for (std::size_t i = 0; i + 4 < data.size(); i += 5) {
        line += data[i].get<int>();
        character = data[i].get<int>() == 0 ? character + data[i + 1].get<int>() : data[i + 1].get<int>();
        std::string mark = std::to_string(line) + ":" + std::to_string(character) + "+" +
                           std::to_string(data[i + 2].get<int>()) + " " + types.at(data[i + 3].get<std::size_t>());
        for (std::size_t bit = 0; bit < modifiers.size(); ++bit)
            if (data[i + 4].get<int>() & (1 << bit)) mark.append(" ").append(modifiers[bit]);
        marks.push_back(mark);
    }
    for (const std::string expected :
         {"0:0+8 keyword", "1:4+5 variable declaration global", "3:0+3 function declaration",
          "15:16+3 parameter declaration reference", "4:0+6 event declaration", "7:8+5 macro", "8:4+3 function",
          "8:11+5 variable global", "10:4+8 function defaultLibrary", "17:10+3 parameter reference", "17:16+1 parameter",
          "17:20+6 variable global", "19:0+5 keyword"})
        EXPECT_NE(std::find(marks.begin(), marks.end(), expected), marks.end()) << expected << " among " << ::testing::PrintToString(marks);
}

TEST_F(OxlsFeatures, FoldsBlocksCommentsAndMenuBodies) {
    std::vector<std::string> ranges;
    for (const json& r : lsp.result("textDocument/foldingRange", {{"textDocument", {{"uri", uri}}}}))
        ranges.push_back(std::to_string(r["startLine"].get<int>()) + "-" + std::to_string(r["endLine"].get<int>()) +
                         (r.contains("kind") ? std::string(" ").append(r["kind"].get<std::string>()) : ""));
    std::sort(ranges.begin(), ranges.end());
    EXPECT_EQ(ranges, (std::vector<std::string>{"13-14 comment", "16-17", "20-21", "5-11"}));
}

TEST_F(OxlsFeatures, MarksTheArgumentsACallMayChange) {
    const json range = {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 22}, {"character", 0}}}};
    std::vector<std::string> hints;
    for (const json& h : lsp.result("textDocument/inlayHint", {{"textDocument", {{"uri", uri}}}, {"range", range}}))
        hints.push_back(std::to_string(h["position"]["line"].get<int>()) + ":" +
                        std::to_string(h["position"]["character"].get<int>()) + " " + h["label"].get<std::string>());
    // add's by-reference parameter, and strcpy's first (its target).
    EXPECT_EQ(hints, (std::vector<std::string>{"8:11 &sum:", "9:11 &"}));
}

// A document of the server's own, answered in English.
json english_diagnostics(LspClient& lsp, const std::string& uri, const std::string& text) {
    (void)lsp.result("initialize", {{"capabilities", json::object()}, {"initializationOptions", {{"messages", "en"}}}});
    lsp.open(uri, text);
    json mine = json::array();
    for (const json& d : lsp.diagnostics(uri))
        if (d["source"] == "oxls") mine.push_back(d);
    return mine;
}

TEST(OxlsHints, HelpToReadACascadeOfMessagesAndToTidyAModule) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;  // "line:start-end severity [unnecessary] message"
    };
    const Case cases[] = {
        {"a missing }", "OnLoad(int &r)\n{\n    r = 1;\n\nOnClick(int x, int y, int keys)\n{\n    r = 2;\n}\n",
         "4:0-7 3 '}' probably missing: a top-level line begins before the block opened at line 2 is closed"},
        {"= in a condition", "OnLoad(int &r)\n{\n    if (r = 1) {\n        r = 2;\n    }\n}\n",
         "2:10-11 3 '=' in a condition: did you mean '=='?"},
        {"code after return", "OnLoad(int &r)\n{\n    return;\n    r = 1;\n}\n", "3:4-10 4 unnecessary code after return is never run"},
        {"a local never used", "OnLoad(int &r)\n{\n    int k;\n    r = 1;\n}\n",
         "2:8-9 4 unnecessary local variable never used: k"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        LspClient lsp;
        const json mine = english_diagnostics(lsp, file_uri(dir / "prog.oxs"), c.text);
        ASSERT_EQ(mine.size(), 1u) << mine.dump();
        const json& d = mine[0];
        const json& r = d["range"];
        EXPECT_EQ(std::to_string(r["start"]["line"].get<int>()) + ":" + std::to_string(r["start"]["character"].get<int>()) +
                      "-" + std::to_string(r["end"]["character"].get<int>()) + " " +
                      std::to_string(d["severity"].get<int>()) + (d.contains("tags") ? " unnecessary" : "") + " " +
                      d["message"].get<std::string>(),
                  c.expected);
        EXPECT_EQ(lsp.stop(), 0);
    }
}

TEST(OxlsActions, DeclareAddAPrototypeAndInsertASemicolon) {
    TempDir dir;
    const std::string uri = file_uri(dir / "prog.oxs");
    const std::string text =
        "OnLoad(int &r)\n{\n    x = 1;\n    later(1);\n    r = 2\n    r = 3;\n}\nlater(int n)\n{\n}\n";
    LspClient lsp;
    (void)english_diagnostics(lsp, uri, text);
    const json range = {{"start", {{"line", 2}, {"character", 0}}}, {"end", {{"line", 5}, {"character", 0}}}};
    std::vector<std::string> fixes;
    for (const json& action : lsp.result("textDocument/codeAction",
                                         {{"textDocument", {{"uri", uri}}}, {"range", range}, {"context", {{"diagnostics", json::array()}}}})) {
        std::ostringstream edits;
        for (const json& e : action["edit"]["changes"][uri])
            edits << e["range"]["start"]["line"] << ":" << e["range"]["start"]["character"] << " " << e["newText"].dump();
        fixes.push_back(action["title"].get<std::string>() + " @ " + edits.str());
    }
    std::sort(fixes.begin(), fixes.end());
    EXPECT_EQ(fixes, (std::vector<std::string>{R"(Add a prototype of later @ 0:0 "later(int n);\n")",
                                               R"(Declare int x as a global @ 0:0 "int x;\n")",
                                               R"(Declare int x at the top of the function @ 2:0 "    int x;\n")",
                                               R"(Insert the missing ';' @ 4:9 ";")"}));
    // A body whose first statement shares the brace's line: the local goes right after the brace.
    const std::string other = file_uri(dir / "other.oxs");
    lsp.open(other, "OnLoad(int &r){ y = 1; }\n");
    const json one_line = {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 0}, {"character", 5}}}};
    const json local = lsp.result("textDocument/codeAction", {{"textDocument", {{"uri", other}}}, {"range", one_line},
                                                               {"context", {{"diagnostics", json::array()}}}})[0];
    EXPECT_EQ(applied("OnLoad(int &r){ y = 1; }\n", local["edit"]["changes"][other]), "OnLoad(int &r){ int y; y = 1; }\n");
    EXPECT_EQ(lsp.stop(), 0);
}

TEST(OxlsFormatting, FormatsWithTheFormattersCodeAndRefusesASourceWithErrors) {
    TempDir dir;
    const std::string uri = file_uri(dir / "prog.oxs");
    LspClient lsp;
    lsp.start();
    const std::string messy = "int  a;\nOnLoad(int &r){r=a+1;\n    if(r){r=2;}}\n";
    lsp.open(uri, messy);
    const json edits = lsp.result("textDocument/formatting", {{"textDocument", {{"uri", uri}}}, {"options", json::object()}});
    EXPECT_EQ(applied(messy, edits),
              "int a;\nOnLoad(int &r)\n{\n    r = a + 1;\n    if (r) {\n        r = 2;\n    }\n}\n");
    const json range = {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 0}, {"character", 3}}}};
    const json ranged = lsp.result("textDocument/rangeFormatting",
                                   {{"textDocument", {{"uri", uri}}}, {"range", range}, {"options", json::object()}});
    EXPECT_EQ(applied(messy, ranged), "int a;\nOnLoad(int &r){r=a+1;\n    if(r){r=2;}}\n");
    lsp.open(file_uri(dir / "bad.oxs"), "OnLoad(int &r)\n{\n    x = 1;\n}\n");
    const json refused = lsp.call("textDocument/formatting",
                                  {{"textDocument", {{"uri", file_uri(dir / "bad.oxs")}}}, {"options", json::object()}});
    EXPECT_EQ(refused["error"]["code"], -32803) << refused.dump();
    EXPECT_EQ(lsp.stop(), 0);
}

}  // namespace
}  // namespace oxtest
