#include "docs/doc_support.hpp"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/resource_files.hpp"

namespace oxdocs {

std::string trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return "";
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// A '|' written "\\|" stands inside a cell.
std::vector<std::string> table_cells(const std::string& row) {
    std::vector<std::string> cells;
    std::string cell;
    const auto finish = [&] {
        cell = trim(cell);
        if (cell.size() >= 2 && cell.front() == '`' && cell.back() == '`') cell = cell.substr(1, cell.size() - 2);
        cells.push_back(cell);
        cell.clear();
    };
    for (std::size_t i = 1; i < row.size(); ++i) {
        if (row[i] == '\\' && i + 1 < row.size() && row[i + 1] == '|') cell += row[++i];
        else if (row[i] == '|') finish();
        else cell += row[i];
    }
    return cells;
}

Markdown read_document(std::string_view name) {
    const std::string path = std::string(OXBUILD_DOCS_DIR) + "/" + std::string(name);
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    Markdown doc;
    std::string chapter, section, line;
    FencedBlock* open_block = nullptr;
    for (int number = 1; std::getline(in, line); ++number) {
        doc.text += line + "\n";
        if (open_block != nullptr) {
            if (line == "```") open_block = nullptr;
            else open_block->text += line + "\n";
        } else if (starts_with(line, "```")) {
            open_block = &doc.blocks.emplace_back(FencedBlock{line.substr(3), "", number, chapter, section});
        } else if (starts_with(line, "## ")) {
            chapter = trim(line.substr(3));
            section.clear();
        } else if (starts_with(line, "### ")) {
            section = trim(line.substr(4));
            doc.section_lines[section];
            doc.sections[chapter].push_back(section);
        } else {
            doc.chapter_lines[chapter].push_back(line);
            if (!section.empty()) doc.section_lines[section].push_back(line);
        }
    }
    return doc;
}

void write_example_files(const oxtest::TempDir& dir) {
    using oxtest::BmpContents;
    using oxtest::Colour;
    std::vector<Colour> greys, reds;
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        greys.push_back({v, v, v});
        reds.push_back({0, 0, v});
    }
    const Colour black{0, 0, 0}, white{255, 255, 255}, red{0, 0, 255}, blue{255, 0, 0};
    oxtest::write_bmp(dir / "logo.bmp", {.width = 4, .height = 4, .colours_used = 4,
                                         .colours = {black, white, red, blue}, .pixels = oxtest::Bytes(16, 1)});
    const oxtest::Bytes two_rows = oxtest::padded_rows({{1, 2}, {3, 4}}, 4);
    oxtest::write_bmp(dir / "grey.bmp", {.width = 2, .height = 2, .colours = greys, .pixels = two_rows});
    oxtest::write_bmp(dir / "red.bmp", {.width = 2, .height = 2, .colours = reds, .pixels = two_rows});
    oxtest::write_bmp(dir / "four.bmp", {.width = 2, .height = 2, .bit_count = 4, .colours_used = 16,
                                         .colours = greys, .pixels = oxtest::Bytes(8, 0x12)});
    constexpr std::uint32_t kRle8 = 1;
    oxtest::write_bmp(dir / "rle.bmp",
                      {.width = 2, .height = 2, .compression = kRle8, .colours = greys, .pixels = {2, 1, 0, 1}});
    oxtest::write_file(dir / "chime.wav", oxtest::make_wave({128, 160, 128, 96}));
}

}  // namespace oxdocs
