// docs/language.md checked against the compiler, so that the reference
// cannot drift from what the compiler does:
//  - every block marked ```oxs outside the Messages chapter is a complete
//    source that compiles without a message;
//  - in the Messages chapter, every "### " heading is a message's text and
//    each of its ```oxs sources (compiled as prog.oxs) or ```sh scripts
//    (run with oxbuild on the path) prints that message;
//  - every message of the catalogue has its entry there;
//  - the standard-function and event tables are the host tables.
// Examples run in a fresh directory holding the resource files the chapter
// lists (logo.bmp, grey.bmp, red.bmp, four.bmp, rle.bmp, chime.wav).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/command_line.hpp"
#include "driver/messages.hpp"
#include "support/resource_files.hpp"
#include "support/test_support.hpp"
#include "symbols/host_tables.hpp"

namespace {

using oxtest::RunResult;
using oxtest::TempDir;

const std::string kDocument = std::string(OXBUILD_DOCS_DIR) + "/language.md";
const std::string kMessagesChapter = "Messages";

// Catalogue texts that are pieces of other lines, not messages of their own;
// the chapter's introduction explains each.
const std::set<std::string> kPartsOfOtherLines = {
    "個のエラーがあります",  // the final line after errors: "   N個のエラーがあります"
    ": 引数",                // the detail naming an argument: ": 引数N"
    "警告:",                 // the beginning of every warning
};

struct Example {
    std::string language;  // "oxs" or "sh"
    std::string text;
    int line = 0;          // of the opening fence, for failure messages
};

struct MessageEntry {
    std::string heading;
    std::vector<Example> examples;
    bool has_english = false;
};

struct Document {
    std::string text;
    std::vector<Example> complete_sources;  // ```oxs outside the Messages chapter
    std::vector<MessageEntry> messages;
    std::map<std::string, std::vector<std::string>> chapters;  // "## " title -> its lines
};

std::string trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return "";
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

Document read_document() {
    std::ifstream in(kDocument);
    if (!in) throw std::runtime_error("cannot read " + kDocument);
    Document doc;
    std::string chapter;
    std::string line;
    Example* open_block = nullptr;
    Example ignored;
    for (int number = 1; std::getline(in, line); ++number) {
        doc.text += line + "\n";
        if (open_block != nullptr) {
            if (line == "```") open_block = nullptr;
            else open_block->text += line + "\n";
            continue;
        }
        if (starts_with(line, "```")) {
            const std::string language = line.substr(3);
            ignored = Example{};
            open_block = &ignored;
            if (language == "oxs" || language == "sh") {
                Example example{language, "", number};
                if (chapter != kMessagesChapter) {
                    if (language == "oxs") open_block = &doc.complete_sources.emplace_back(example);
                } else if (!doc.messages.empty()) {
                    open_block = &doc.messages.back().examples.emplace_back(example);
                }
            }
            continue;
        }
        if (starts_with(line, "## ")) {
            chapter = trim(line.substr(3));
            continue;
        }
        doc.chapters[chapter].push_back(line);
        if (chapter != kMessagesChapter) continue;
        if (starts_with(line, "### ")) doc.messages.push_back({trim(line.substr(4)), {}, false});
        else if (starts_with(line, "English: ") && !doc.messages.empty()) doc.messages.back().has_english = true;
    }
    return doc;
}

const Document& document() {
    static const Document doc = read_document();
    return doc;
}

// The resource files the Messages chapter lists.
void write_resource_files(const TempDir& dir) {
    using oxtest::BmpContents;
    using oxtest::Colour;
    std::vector<Colour> greys, reds;
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        greys.push_back({v, v, v});
        reds.push_back({0, 0, v});
    }
    const oxtest::Bytes two_rows = oxtest::padded_rows({{1, 2}, {3, 4}}, 4);
    BmpContents logo{.width = 4, .height = 4, .colours_used = 4,
                     .colours = {{0, 0, 0}, {255, 255, 255}, {0, 0, 255}, {255, 0, 0}},
                     .pixels = oxtest::Bytes(16, 1)};
    oxtest::write_bmp(dir / "logo.bmp", logo);
    oxtest::write_bmp(dir / "grey.bmp", {.width = 2, .height = 2, .colours = greys, .pixels = two_rows});
    oxtest::write_bmp(dir / "red.bmp", {.width = 2, .height = 2, .colours = reds, .pixels = two_rows});
    oxtest::write_bmp(dir / "four.bmp", {.width = 2, .height = 2, .bit_count = 4, .colours_used = 16,
                                         .colours = greys, .pixels = oxtest::Bytes(8, 0x12)});
    constexpr std::uint32_t kRle8 = 1;
    oxtest::write_bmp(dir / "rle.bmp",
                      {.width = 2, .height = 2, .compression = kRle8, .colours = greys, .pixels = {2, 1, 0, 1}});
    oxtest::write_file(dir / "chime.wav", oxtest::make_wave({128, 160, 128, 96}));
}

const std::string kUtf8 = "OXBUILD_MESSAGES=utf-8";

RunResult run_example(const Example& example, const std::string& messages_mode) {
    TempDir dir;
    write_resource_files(dir);
    if (example.language == "oxs") {
        oxtest::write_file(dir / "prog.oxs", example.text);
        return oxtest::run_binary({"prog.oxs"}, dir.path().string(), {messages_mode});
    }
    const std::string bin_dir = std::filesystem::path(OXBUILD_BINARY).parent_path().string();
    return oxtest::run_program("/bin/sh", {"-c", example.text}, dir.path().string(),
                               {messages_mode, "PATH=" + bin_dir + ":/usr/bin:/bin"});
}

TEST(LanguageDocument, EveryCompleteExampleCompilesWithoutAMessage) {
    ASSERT_FALSE(document().complete_sources.empty());
    const std::string clean = std::string(oxbuild::kBanner) + oxtest::created_output();
    for (const Example& example : document().complete_sources) {
        const RunResult run = run_example(example, kUtf8);
        EXPECT_EQ(run.out, clean) << "example at language.md:" << example.line << "\n" << example.text;
        EXPECT_EQ(run.status, oxbuild::kExitSuccess) << "example at language.md:" << example.line;
    }
}

TEST(LanguageDocument, EachMessageExamplePrintsItsMessage) {
    ASSERT_FALSE(document().messages.empty());
    for (const MessageEntry& entry : document().messages) {
        EXPECT_TRUE(entry.has_english) << entry.heading << " has no \"English: \" line";
        EXPECT_FALSE(entry.examples.empty()) << entry.heading << " has no example";
        for (const Example& example : entry.examples) {
            const RunResult run = run_example(example, kUtf8);
            EXPECT_NE(run.out.find(entry.heading), std::string::npos)
                << "example at language.md:" << example.line << " does not print " << entry.heading
                << "; it prints:\n" << run.out;
        }
    }
}

TEST(LanguageDocument, EveryMessageOfTheCatalogueHasAnEntryAndNoEntryIsStale) {
    std::set<std::string> headings;
    for (const MessageEntry& entry : document().messages) headings.insert(entry.heading);
    std::set<std::string> catalogue;
    for (const oxbuild::Message* m : oxbuild::msg::all) catalogue.insert(trim(m->utf8));
    for (const std::string& text : catalogue) {
        if (kPartsOfOtherLines.count(text) != 0) {
            EXPECT_NE(document().text.find(text), std::string::npos) << text << " is explained nowhere";
            continue;
        }
        EXPECT_EQ(headings.count(text), 1u) << "no entry for the message " << text;
    }
    for (const std::string& heading : headings)
        EXPECT_EQ(catalogue.count(heading), 1u) << "the entry " << heading << " is no message of the catalogue";
}

// "| 0x12 (18) | `AddParts` | int, int, int |" and the like; "none" for no parameters.
std::string parameter_list(std::span<const oxbuild::TypeCode> types) {
    static const std::map<oxbuild::TypeCode, std::string> kNames = {
        {oxbuild::TYPE_INT, "int"}, {oxbuild::TYPE_UINT, "uint"}, {oxbuild::TYPE_STR, "str"},
        {oxbuild::TYPE_INT_REF, "int&"}, {oxbuild::TYPE_UINT_REF, "uint&"}, {oxbuild::TYPE_STR_REF, "str&"}};
    std::string list;
    for (const oxbuild::TypeCode t : types) list += (list.empty() ? "" : ", ") + kNames.at(t);
    return list.empty() ? "none" : list;
}

std::vector<std::string> table_cells(const std::string& row) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream in(row.substr(1));
    while (std::getline(in, cell, '|')) cells.push_back(trim(cell));
    return cells;
}

std::string unquote(const std::string& cell) {
    return cell.size() >= 2 && cell.front() == '`' && cell.back() == '`' ? cell.substr(1, cell.size() - 2) : cell;
}

TEST(LanguageDocument, StandardFunctionTableIsTheHostTable) {
    std::set<std::string> documented;
    for (const std::string& line : document().chapters.at("Standard functions"))
        if (starts_with(line, "| 0x")) {
            const auto cells = table_cells(line);
            documented.insert(cells.at(0) + " " + unquote(cells.at(1)) + " " + cells.at(2));
        }
    std::set<std::string> host;
    for (const oxbuild::StandardFunction& f : oxbuild::standard_functions()) {
        char number[32];
        std::snprintf(number, sizeof number, "0x%02X (%d)", f.number, f.number);
        host.insert(std::string(number) + " " + std::string(f.name) + " " + parameter_list(f.parameters));
    }
    EXPECT_EQ(documented, host);
}

// "| `OnClick` | `int x, int y, int keys` | ..." -> "OnClick int, int, int"
TEST(LanguageDocument, EventTableIsTheHostTable) {
    std::set<std::string> documented;
    for (const std::string& line : document().chapters.at("Events")) {
        if (!starts_with(line, "| `On")) continue;
        const auto cells = table_cells(line);
        std::string types;
        std::istringstream parameters(unquote(cells.at(1)));
        for (std::string p; std::getline(parameters, p, ',');) {
            std::istringstream words(p);
            std::string type;
            words >> type;
            if (type == "none") break;
            types += (types.empty() ? "" : ", ") + type + (p.find('&') != std::string::npos ? "&" : "");
        }
        documented.insert(unquote(cells.at(0)) + " " + (types.empty() ? "none" : types));
    }
    std::set<std::string> host;
    for (const oxbuild::EventRow& e : oxbuild::events())
        if (e.name != " ") host.insert(std::string(e.name) + " " + parameter_list(e.parameters));
    EXPECT_EQ(documented, host);
}

}  // namespace
