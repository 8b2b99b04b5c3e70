// #bitmap: 256-colour BMP files attached under a number. All bitmaps share
// one palette; each bitmap's pixels are translated into it when written.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "resources/resource_records.hpp"

namespace oxbuild {

class Compiler;

// What the headers of a BMP file say.
struct BitmapProbe {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bit_count = 0;
    BitmapHeaderKind header_kind = BitmapHeaderKind::info;
};

// Reads the file header and the core or information header; nullopt when
// the file is no BMP file (too short, no "BM", a header cut short).
std::optional<BitmapProbe> probe_bitmap(std::span<const unsigned char> file);

// Where the colour table and pixels of a loaded 8-bit file lie; nullopt
// when the file is malformed (empty or top-down dimensions, compression,
// more than 256 colours, fewer bytes than its pixels need).
struct BitmapLayout {
    std::size_t colour_table = 0;  // offset in the file
    std::size_t colour_count = 0;
    std::size_t colour_entry_size = 0;  // 3 for the core header, 4 otherwise
    std::size_t pixels = 0;             // offset in the file
    std::int64_t stride = 0;
};
std::optional<BitmapLayout> layout_bitmap(std::span<const unsigned char> file, const BitmapProbe& probe);

// Merges the bitmap's colours (all but the transparent index) into the
// shared palette; false when the palette overflowed.
bool merge_palette(SharedPalette& palette, std::span<const unsigned char> file, const BitmapLayout& layout,
                   std::int32_t transparent);

// #bitmap number "file" transparent-index
void directive_bitmap(Compiler& c);

// Whether the bitmap's file still holds the bytes its directive read.
bool bitmap_file_unchanged(const Compiler& c, const BitmapRecord& b);

// Palette head and palette, directory, then each bitmap's information
// header, palette copy and translated pixels. Nothing when pass 2 counted
// errors.
void write_bitmap_section(Compiler& c);

// The section's sizes, for its directory and for the module's layout: one
// bitmap's data (information header, palette copy, pixel rows), where the
// data begins (past the palette and a directory of so many bitmaps), and
// the whole section.
std::int64_t bitmap_data_size(const BitmapRecord& b);
std::int64_t bitmap_data_start(std::size_t bitmaps);
std::int64_t bitmap_section_size(const std::vector<BitmapRecord>& bitmaps);

}  // namespace oxbuild
