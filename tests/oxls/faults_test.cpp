// What a new author met in the language server, each through the pipe as an
// editor sees it: snippets for clients without them, messages in the wrong
// language, completion that offered everything, diagnostics over whole
// lines with a trailing blank, directives without hover.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "oxls/lsp_client.hpp"
#include "support/test_support.hpp"

namespace oxtest {
namespace {

json completion_client(bool snippets) {
    return {{"textDocument", {{"completion", {{"completionItem", {{"snippetSupport", snippets}}}}}}}};
}

json items_of(const json& completion) { return completion.is_array() ? completion : completion["items"]; }

TEST(OxlsFaults, SnippetsGoOnlyToClientsThatTakeThem) {
    for (const bool snippets : {false, true}) {
        SCOPED_TRACE(snippets ? "snippets" : "plain text");
        TempDir dir;
        const std::string uri = file_uri(dir / "prog.oxs");
        LspClient lsp;
        lsp.start(completion_client(snippets));
        lsp.open(uri, "OnLoad(int &r)\n{\n    SetF\n}\n");
        int formats[3] = {0, 0, 0};
        for (const json& item : items_of(lsp.result("textDocument/completion", LspClient::at(uri, 2, 8)))) {
            ++formats[item["insertTextFormat"].get<int>()];
            if (item["label"] == "SetField") {
                EXPECT_EQ(item["textEdit"]["newText"],
                          snippets ? "SetField(${1:int}, ${2:int}, ${3:int}, ${4:int})" : "SetField");
            }
        }
        EXPECT_EQ(formats[2] > 0, snippets);
        EXPECT_EQ(formats[1] > 0, !snippets);
        EXPECT_EQ(lsp.stop(), 0);
    }
}

TEST(OxlsFaults, ItsOwnMessagesComeInTheLanguageChosen) {
    struct Language {
        json options;
        std::string unmappable;
        std::string unused;
    };
    const Language languages[] = {
        {json::object(), "コードページ932で表せない文字です: U+1F600", "使われていないローカル変数です: k"},
        {{{"messages", "en"}}, "character without a code page 932 form: U+1F600", "local variable never used: k"},
    };
    for (const Language& l : languages) {
        TempDir dir;
        const std::string uri = file_uri(dir / "prog.oxs");
        LspClient lsp;
        (void)lsp.result("initialize", {{"capabilities", json::object()}, {"initializationOptions", l.options}});
        lsp.open(uri, "str s;\nOnLoad(int &r)\n{\n    int k;\n    strcpy(s, \"😀\");\n}\n");
        std::vector<std::string> messages;
        for (const json& d : lsp.diagnostics(uri)) messages.push_back(d["message"]);
        std::sort(messages.begin(), messages.end());
        std::vector<std::string> expected{l.unmappable, l.unused};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(messages, expected);
        EXPECT_EQ(lsp.stop(), 0);
    }
}

constexpr char kCompletion[] =
    "int early;\n"        // 0
    "before(int a);\n"    // 1
    "OnLoad(int &r)\n"    // 2
    "{\n"                 // 3
    "    IntTo\n"         // 4
    "    b\n"             // 5
    "    la\n"            // 6
    "    ea\n"            // 7
    "}\n"                 // 8
    "int late;\n"         // 9
    "below(int x) { }\n";  // 10

std::vector<std::string> labels_at(LspClient& lsp, const std::string& uri, int line, int character) {
    std::vector<std::string> labels;
    for (const json& item : items_of(lsp.result("textDocument/completion", LspClient::at(uri, line, character))))
        labels.push_back(item["label"]);
    std::sort(labels.begin(), labels.end());
    return labels;
}

TEST(OxlsFaults, CompletionOffersWhatTheWordBeginsAndCanBeUsedThereAndReplacesTheWord) {
    TempDir dir;
    const std::string uri = file_uri(dir / "prog.oxs");
    LspClient lsp;
    lsp.start();
    lsp.open(uri, kCompletion);
    const json items = items_of(lsp.result("textDocument/completion", LspClient::at(uri, 4, 7)));
    ASSERT_FALSE(items.empty());
    for (const json& item : items) {
        std::string label = item["label"];
        for (char& c : label) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(label.rfind("int", 0), 0u) << item.dump();
        EXPECT_EQ(item["textEdit"]["range"],
                  (json{{"start", {{"line", 4}, {"character", 4}}}, {"end", {{"line", 4}, {"character", 9}}}}));
    }
    EXPECT_EQ(labels_at(lsp, uri, 5, 5), (std::vector<std::string>{"Beep", "before", "break"}));
    EXPECT_EQ(labels_at(lsp, uri, 6, 6), (std::vector<std::string>{}));
    EXPECT_EQ(labels_at(lsp, uri, 7, 6), (std::vector<std::string>{"early"}));
    EXPECT_EQ(lsp.stop(), 0);
}

TEST(OxlsFaults, AMessageCoversTheTokenWhereTheCompilerStoodWithoutATrailingBlank) {
    TempDir dir;
    const std::string uri = file_uri(dir / "prog.oxs");
    LspClient lsp;
    (void)lsp.result("initialize", {{"capabilities", json::object()}, {"initializationOptions", {{"messages", "en"}}}});
    lsp.open(uri, "OnLoad(int &r)\n{\n    r = missing + 1;\n    r = 1 2;\n    $\n}\n");
    std::vector<std::string> seen;
    for (const json& d : lsp.diagnostics(uri))
        seen.push_back(d["message"].get<std::string>() + " " + std::to_string(d["range"]["start"]["line"].get<int>()) +
                       ":" + std::to_string(d["range"]["start"]["character"].get<int>()) + "-" +
                       std::to_string(d["range"]["end"]["character"].get<int>()));
    std::sort(seen.begin(), seen.end());
    // '$' stops the compiler until a ';' that never comes, so the '}' is missed too.
    EXPECT_EQ(seen, (std::vector<std::string>{"'}' not found 6:0-0", "symbol not found : missing 2:8-15",
                                              "syntax error 3:10-11", "syntax error 4:4-5"}));
    EXPECT_EQ(lsp.stop(), 0);
}

TEST(OxlsFaults, DirectivesHaveHover) {
    TempDir dir;
    write_file(dir / "defs.oxh", "int shared;\n");
    const std::string uri = file_uri(dir / "prog.oxs");
    LspClient lsp;
    lsp.start();
    lsp.open(uri, "#include \"defs.oxh\"\n#define LIMIT 10\n");
    const json include = lsp.result("textDocument/hover", LspClient::at(uri, 0, 0));
    EXPECT_NE(include.dump().find("#include \\\"file\\\""), std::string::npos) << include.dump();
    EXPECT_EQ(include["range"]["end"], (json{{"line", 0}, {"character", 8}}));
    const json define = lsp.result("textDocument/hover", LspClient::at(uri, 1, 3));
    EXPECT_NE(define.dump().find("#define NAME REPLACEMENT"), std::string::npos) << define.dump();
    EXPECT_EQ(lsp.stop(), 0);
}

}  // namespace
}  // namespace oxtest
