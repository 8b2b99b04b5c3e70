// docs/language.md held to the compiler, so that the reference cannot drift
// from what the compiler does:
//  - every ```oxs block outside the Messages chapter and the chapter on
//    cascades is a complete source that compiles without a message;
//  - in the chapter on cascades every ```oxs source is followed by a ```text
//    block of what the compiler prints for it with OXBUILD_MESSAGES=en;
//  - in the Messages chapter every "### " heading is a message's text, with
//    an "English: " line holding the catalogue's English text, and each of
//    its ```oxs sources (compiled as prog.oxs) and ```sh scripts (run with
//    oxbuild on the path) prints, with OXBUILD_MESSAGES=utf-8, exactly the
//    ```text block that follows it (after the banner; the blank that ends
//    most error lines cannot be seen in a document and is not compared), and
//    with OXBUILD_MESSAGES=en the entry's English text;
//  - every message of the catalogue has its entry;
//  - the standard-function and event tables are the host tables.
// Every example runs in a fresh directory holding the example files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "docs/doc_support.hpp"
#include "driver/command_line.hpp"
#include "core/messages.hpp"
#include "support/system.hpp"
#include "symbols/host_tables.hpp"

namespace {

using oxdocs::FencedBlock;
using oxdocs::starts_with;
using oxdocs::trim;
using oxtest::RunResult;

constexpr std::string_view kMessages = "Messages";
constexpr std::string_view kCascades = "Reading a cascade of messages";

// Catalogue texts that are pieces of other lines, not messages of their own;
// the chapter's introduction explains each.
const std::set<std::string> kPartsOfOtherLines = {
    "個のエラーがあります",  // the final line after errors: "   N個のエラーがあります"
    ": 引数",                // the detail naming an argument: ": 引数N"
    "警告:",                 // the beginning of every warning
};

const oxdocs::Markdown& document() {
    static const oxdocs::Markdown doc = oxdocs::read_document("language.md");
    return doc;
}

bool is_example(const FencedBlock& b) { return b.language == "oxs" || b.language == "sh"; }

RunResult run_example(const FencedBlock& example, const std::string& messages_mode) {
    oxtest::TempDir dir;
    oxdocs::write_example_files(dir);
    if (example.language == "oxs") {
        oxtest::write_file(dir / "prog.oxs", example.text);
        return oxtest::run_binary({"prog.oxs"}, dir.path().string(), {messages_mode});
    }
    const std::string bin_dir = std::filesystem::path(OXBUILD_BINARY).parent_path().string();
    return oxtest::run_program("/bin/sh", {"-c", example.text}, dir.path().string(),
                               {messages_mode, "PATH=" + bin_dir + ":/usr/bin:/bin"});
}

const std::string kUtf8 = "OXBUILD_MESSAGES=utf-8";
const std::string kEnglish = "OXBUILD_MESSAGES=en";

// The lines without the blanks that end them.
std::string without_trailing_blanks(std::string_view text) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
        out.append(line);
        if (end < text.size()) out += '\n';
        start = end + 1;
    }
    return out;
}

std::string after_banner(const std::string& out) {
    const std::string_view banner = oxbuild::kBanner;
    return out.compare(0, banner.size(), banner) == 0 ? out.substr(banner.size()) : "<no banner>\n" + out;
}

// The ```text block right after an example, in its section: what it prints.
const FencedBlock* shown_output(const FencedBlock& example) {
    const auto& blocks = document().blocks;
    for (std::size_t i = 0; i + 1 < blocks.size(); ++i)
        if (&blocks[i] == &example)
            return blocks[i + 1].language == "text" && blocks[i + 1].section == example.section ? &blocks[i + 1]
                                                                                                 : nullptr;
    return nullptr;
}

const oxbuild::Message* catalogue_entry(const std::string& utf8) {
    for (const oxbuild::Message* m : oxbuild::msg::all)
        if (trim(m->utf8) == utf8) return m;
    return nullptr;
}

// The text of the entry's "English: " line, or "" when it has none.
std::string english_of(const std::string& message) {
    for (const std::string& line : document().section_lines.at(message))
        if (starts_with(line, "English: ")) return trim(line.substr(9));
    return "";
}

// Message text -> its examples, in document order.
std::map<std::string, std::vector<const FencedBlock*>> message_entries() {
    std::map<std::string, std::vector<const FencedBlock*>> entries;
    for (const FencedBlock& b : document().blocks)
        if (b.chapter == kMessages && !b.section.empty() && is_example(b)) entries[b.section].push_back(&b);
    return entries;
}

TEST(LanguageDocument, EveryCompleteExampleCompilesWithoutAMessage) {
    const std::string clean = std::string(oxbuild::kBanner) + oxtest::created_output();
    int examples = 0;
    for (const FencedBlock& b : document().blocks) {
        if (b.chapter == kMessages || b.chapter == kCascades || b.language != "oxs") continue;
        ++examples;
        const RunResult run = run_example(b, kUtf8);
        EXPECT_EQ(run.out, clean) << "example at language.md:" << b.line << "\n" << b.text;
        EXPECT_EQ(run.status, oxbuild::kExitSuccess) << "example at language.md:" << b.line;
    }
    EXPECT_GT(examples, 0);
}

TEST(LanguageDocument, EachCascadeExamplePrintsWhatTheDocumentShows) {
    const auto& blocks = document().blocks;
    int examples = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].chapter != kCascades || blocks[i].language != "oxs") continue;
        ++examples;
        ASSERT_LT(i + 1, blocks.size());
        ASSERT_EQ(blocks[i + 1].language, "text") << "no output after the example at language.md:" << blocks[i].line;
        const RunResult run = run_example(blocks[i], kEnglish);
        EXPECT_EQ(without_trailing_blanks(run.out), without_trailing_blanks(blocks[i + 1].text))
            << "the example at language.md:" << blocks[i].line;
    }
    EXPECT_GT(examples, 0);
}

TEST(LanguageDocument, EachMessageExamplePrintsItsMessage) {
    const auto entries = message_entries();
    for (const auto& [message, examples] : entries) {
        const oxbuild::Message* m = catalogue_entry(message);
        if (m == nullptr) continue;  // reported as a stale entry
        const std::string english = english_of(message);
        EXPECT_EQ(english, trim(m->english)) << "the English line of " << message;
        for (const FencedBlock* example : examples) {
            if (example->language == "sh" && oxtest::on_windows()) continue;  // needs a POSIX shell
            const std::string printed = after_banner(run_example(*example, kUtf8).out);
            const FencedBlock* shown = shown_output(*example);
            EXPECT_EQ(shown != nullptr ? without_trailing_blanks(shown->text) : "<no text block after it>\n",
                      without_trailing_blanks(printed))
                << "the example at language.md:" << example->line << " prints:\n" << printed;
            EXPECT_NE(printed.find(message), std::string::npos) << "language.md:" << example->line;
            const RunResult english_run = run_example(*example, kEnglish);
            EXPECT_NE(english_run.out.find(english), std::string::npos)
                << "the example at language.md:" << example->line << " does not print " << english << " with "
                << kEnglish << "; it prints:\n" << english_run.out;
        }
    }
}

TEST(LanguageDocument, EveryMessageOfTheCatalogueHasAnEntryAndEveryEntryIsAMessage) {
    const auto& listed = document().sections.at(std::string(kMessages));
    const std::set<std::string> headings(listed.begin(), listed.end());
    EXPECT_EQ(headings.size(), listed.size()) << "a message has two entries";
    const auto entries = message_entries();
    std::set<std::string> catalogue;
    for (const oxbuild::Message* m : oxbuild::msg::all) {
        catalogue.insert(trim(m->utf8));
        if (kPartsOfOtherLines.count(trim(m->utf8)) == 0) continue;
        for (const std::string_view text : {m->utf8, m->english})
            EXPECT_NE(document().text.find(trim(text)), std::string::npos) << text << " is explained nowhere";
    }
    for (const std::string& text : catalogue) {
        if (kPartsOfOtherLines.count(text) != 0) continue;
        EXPECT_EQ(headings.count(text), 1u) << "no entry for the message " << text;
        EXPECT_EQ(entries.count(text), 1u) << "no example for the message " << text;
    }
    for (const std::string& heading : headings)
        EXPECT_EQ(catalogue.count(heading), 1u) << "the entry " << heading << " is no message of the catalogue";
}

// As the tables write them: "int, str&", or "none".
std::string parameter_list(std::span<const oxbuild::TypeCode> types) {
    static const std::map<oxbuild::TypeCode, std::string> kNames = {
        {oxbuild::TYPE_INT, "int"},      {oxbuild::TYPE_UINT, "uint"},      {oxbuild::TYPE_STR, "str"},
        {oxbuild::TYPE_INT_REF, "int&"}, {oxbuild::TYPE_UINT_REF, "uint&"}, {oxbuild::TYPE_STR_REF, "str&"}};
    std::string list;
    for (const oxbuild::TypeCode t : types) list += (list.empty() ? "" : ", ") + kNames.at(t);
    return list.empty() ? "none" : list;
}

// "| 0x12 (18) | `AddParts` | int, int, int |"
TEST(LanguageDocument, StandardFunctionTableIsTheHostTable) {
    std::set<std::string> documented;
    for (const std::string& line : document().chapter_lines.at("Standard functions"))
        if (starts_with(line, "| 0x")) {
            const auto cells = oxdocs::table_cells(line);
            documented.insert(cells.at(0) + " " + cells.at(1) + " " + cells.at(2));
        }
    std::set<std::string> host;
    for (const oxbuild::StandardFunction& f : oxbuild::standard_functions()) {
        char number[32];
        std::snprintf(number, sizeof number, "0x%02X (%d)", f.number, f.number);
        host.insert(std::string(number) + " " + std::string(f.name) + " " + parameter_list(f.parameters));
    }
    EXPECT_EQ(documented, host);
}

// "| `OnClick` | `int x, int y, int keys` | ..." reads as "OnClick int, int, int".
TEST(LanguageDocument, EventTableIsTheHostTable) {
    std::set<std::string> documented;
    for (const std::string& line : document().chapter_lines.at("Events")) {
        if (!starts_with(line, "| `On")) continue;
        const auto cells = oxdocs::table_cells(line);
        std::string types;
        std::istringstream parameters(cells.at(1));
        for (std::string parameter; std::getline(parameters, parameter, ',');) {
            std::string type;
            std::istringstream(parameter) >> type;
            if (type == "none") break;
            types += (types.empty() ? "" : ", ") + type + (parameter.find('&') != std::string::npos ? "&" : "");
        }
        documented.insert(cells.at(0) + " " + (types.empty() ? "none" : types));
    }
    std::set<std::string> host;
    for (const oxbuild::EventRow& e : oxbuild::events())
        if (e.name != " ") host.insert(std::string(e.name) + " " + parameter_list(e.parameters));
    EXPECT_EQ(documented, host);
}

}  // namespace
