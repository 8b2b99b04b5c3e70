// Reading the documents in docs/ for the tests that hold them to the
// compiler: fenced blocks with their chapter ("## ") and section ("### "),
// and the resource files their examples expect beside the source.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.hpp"

namespace oxdocs {

struct FencedBlock {
    std::string language;  // the word after the opening ```, "" for none
    std::string text;      // every line with its line feed
    int line = 0;          // of the opening fence
    std::string chapter;   // the "## " heading above it
    std::string section;   // the "### " heading above it within the chapter, or ""
};

struct Markdown {
    std::string text;
    std::vector<FencedBlock> blocks;
    // Headings in order, with the lines between them outside fenced blocks.
    std::map<std::string, std::vector<std::string>> chapter_lines;
    std::map<std::string, std::vector<std::string>> section_lines;  // "### " within any chapter
    std::map<std::string, std::vector<std::string>> sections;       // chapter -> its "### " headings
};

// Reads docs/NAME from the source tree; throws when it cannot.
Markdown read_document(std::string_view name);

std::string trim(std::string_view s);
bool starts_with(std::string_view s, std::string_view prefix);
// The cells of a table row "| a | b |", trimmed, without `code` quotes.
std::vector<std::string> table_cells(const std::string& row);

// The files the documents' examples name: logo.bmp (8 bits, 4 x 4, black,
// white, red and blue, every pixel 1), grey.bmp and red.bmp (8 bits, 2 x 2,
// 256 greys and 256 reds), four.bmp (4 bits), rle.bmp (compressed) and
// chime.wav (a 48-byte RIFF WAVE file).
void write_example_files(const oxtest::TempDir& dir);

}  // namespace oxdocs
