#include "resources/bitmaps.hpp"

#include <array>
#include <limits>

#include "driver/compiler.hpp"
#include "core/fatal.hpp"
#include "format/module_format.hpp"
#include "resources/binary_file.hpp"
#include "resources/directives.hpp"

namespace oxbuild {

namespace {

// The BMP file format's own layout.
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kFilePixelOffset = 10;  // in the file header: where the pixel rows begin
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kCoreWidth = 4, kCoreHeight = 6, kCoreBitCount = 10;
constexpr std::size_t kInfoWidth = 4, kInfoHeight = 8, kInfoBitCount = 14, kInfoCompression = 16,
                      kInfoColoursUsed = 32;
constexpr std::size_t kCoreColourEntry = 3;
constexpr std::size_t kInfoColourEntry = 4;
constexpr std::size_t kMaxColours = 256;
constexpr std::uint16_t kEightBits = 8;
constexpr std::int32_t kMaxTransparentIndex = 255;

std::uint16_t read_u16(std::span<const unsigned char> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t read_u32(std::span<const unsigned char> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint32_t colour_key(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return static_cast<std::uint32_t>(blue) | (static_cast<std::uint32_t>(green) << 8) |
           (static_cast<std::uint32_t>(red) << 16);
}

// The first shared entry from 1 on with the colour, or 0.
int shared_index(const SharedPalette& palette, std::uint32_t key) {
    const auto it = palette.index_of.find(key);
    return it == palette.index_of.end() ? 0 : it->second;
}

std::uint32_t table_colour(std::span<const unsigned char> file, const BitmapLayout& layout, std::size_t i) {
    const std::size_t at = layout.colour_table + i * layout.colour_entry_size;
    return colour_key(file[at], file[at + 1], file[at + 2]);
}

// Checks the probe's verdict and reports why a bitmap is refused.
std::optional<BitmapLayout> accept_bitmap(Compiler& c, const std::string& name,
                                          const std::optional<std::vector<unsigned char>>& file) {
    const auto probe = file ? probe_bitmap(*file) : std::nullopt;
    if (!probe) {
        c.diag.report_error_file(msg::bitmap_not_found, name);
        return std::nullopt;
    }
    if (probe->bit_count != kEightBits) {
        c.diag.report_error_file(msg::bitmap_not_256_colours, name);
        return std::nullopt;
    }
    const auto layout = layout_bitmap(*file, *probe);
    if (!layout) c.diag.report_error_file(msg::bitmap_malformed, name);
    return layout;
}

void emit_info_header(Compiler& c, const BitmapRecord& b, std::int64_t image_size) {
    c.sink.emit_dword(format::kBitmapInfoHeaderSize);
    c.sink.emit_dword(static_cast<std::uint32_t>(b.width));
    c.sink.emit_dword(static_cast<std::uint32_t>(b.height));
    c.sink.emit_word(1);  // planes
    c.sink.emit_word(kEightBits);
    c.sink.emit_dword(0);  // no compression
    c.sink.emit_dword(static_cast<std::uint32_t>(image_size));
    c.sink.emit_dword(format::kPixelsPerMetre);
    c.sink.emit_dword(format::kPixelsPerMetre);
    c.sink.emit_dword(0);  // colours used: all
    c.sink.emit_dword(0);  // colours important: all
}

// The palette's 256 entries of four bytes, in the order given by the three
// colour components and a zero, put together and written in one piece.
enum class ColourOrder : std::uint8_t { bgr0, rgb0 };
void emit_palette(Compiler& c, const SharedPalette& palette, ColourOrder order) {
    constexpr std::size_t kEntryBytes = 4;
    std::array<unsigned char, kPaletteEntries * kEntryBytes> bytes{};
    for (std::size_t i = 0; i < palette.entries.size(); ++i) {
        const auto& e = palette.entries[i];
        const bool bgr = order == ColourOrder::bgr0;
        bytes[i * kEntryBytes] = bgr ? e.blue : e.red;
        bytes[i * kEntryBytes + 1] = e.green;
        bytes[i * kEntryBytes + 2] = bgr ? e.red : e.blue;
    }
    c.sink.emit_bytes(bytes.data(), bytes.size());
}

// Information header, the shared palette, and the pixels translated into it
// with the file's own stride and row order, in place in the file's bytes
// (past its colour table, which the translation reads first).
void emit_bitmap_data(Compiler& c, const BitmapRecord& b) {
    auto file = read_whole_file(c.resolve(b.file_name));
    const auto probe = file ? probe_bitmap(*file) : std::nullopt;
    const auto layout = probe ? layout_bitmap(*file, *probe) : std::nullopt;
    if (!layout || probe->width != b.width || probe->height != b.height)
        fatal_stop("cannot read a bitmap file again: " + b.file_name);
    const SharedPalette& palette = c.p().palette;
    const std::int64_t image_size = layout->stride * b.height;
    emit_info_header(c, b, image_size);
    emit_palette(c, palette, ColourOrder::bgr0);
    std::array<unsigned char, kMaxColours> translation{};
    for (std::size_t i = 0; i < layout->colour_count; ++i)
        if (static_cast<std::int32_t>(i) != b.transparent)
            translation[i] = static_cast<unsigned char>(shared_index(palette, table_colour(*file, *layout, i)));
    const std::span<unsigned char> pixels(file->data() + layout->pixels, static_cast<std::size_t>(image_size));
    for (unsigned char& p : pixels) p = translation[p];
    c.sink.emit_bytes(pixels.data(), pixels.size());
}

}  // namespace

std::optional<BitmapProbe> probe_bitmap(std::span<const unsigned char> file) {
    if (file.size() < kFileHeaderSize + 4 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
    BitmapProbe probe;
    const std::size_t header = kFileHeaderSize;
    if (read_u32(file, header) == kCoreHeaderSize) {
        if (file.size() < header + kCoreHeaderSize) return std::nullopt;
        probe.width = read_u16(file, header + kCoreWidth);
        probe.height = read_u16(file, header + kCoreHeight);
        probe.bit_count = read_u16(file, header + kCoreBitCount);
        probe.header_kind = BitmapHeaderKind::core;
        return probe;
    }
    if (file.size() < header + kInfoHeaderSize) return std::nullopt;
    probe.width = static_cast<std::int32_t>(read_u32(file, header + kInfoWidth));
    probe.height = static_cast<std::int32_t>(read_u32(file, header + kInfoHeight));
    probe.bit_count = read_u16(file, header + kInfoBitCount);
    probe.header_kind = BitmapHeaderKind::info;
    return probe;
}

std::optional<BitmapLayout> layout_bitmap(std::span<const unsigned char> file, const BitmapProbe& probe) {
    if (probe.width < 1 || probe.height < 1) return std::nullopt;
    BitmapLayout layout;
    const std::size_t header = kFileHeaderSize;
    const std::uint64_t header_size = read_u32(file, header);
    layout.colour_table = static_cast<std::size_t>(header + header_size);
    if (probe.header_kind == BitmapHeaderKind::core) {
        layout.colour_count = kMaxColours;
        layout.colour_entry_size = kCoreColourEntry;
    } else {
        if (read_u32(file, header + kInfoCompression) != 0) return std::nullopt;
        const std::uint32_t used = read_u32(file, header + kInfoColoursUsed);
        if (used > kMaxColours) return std::nullopt;
        layout.colour_count = used == 0 ? kMaxColours : used;
        layout.colour_entry_size = kInfoColourEntry;
    }
    layout.stride = format::bitmap_stride(probe.width);
    const std::int64_t image_size = layout.stride * probe.height;
    if (image_size > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    const std::uint64_t needed = header + header_size + layout.colour_count * layout.colour_entry_size +
                                 static_cast<std::uint64_t>(image_size);
    if (needed > file.size()) return std::nullopt;
    layout.pixels = layout.colour_table + layout.colour_count * layout.colour_entry_size;
    // Writers may leave a gap before the rows and say so in the file
    // header; an offset that points into the headers or the colour table,
    // or leaves too few bytes for the rows, is taken for an unset one.
    const std::uint64_t stated = read_u32(file, kFilePixelOffset);
    if (stated > layout.pixels && stated + static_cast<std::uint64_t>(image_size) <= file.size())
        layout.pixels = static_cast<std::size_t>(stated);
    return layout;
}

bool merge_palette(SharedPalette& palette, std::span<const unsigned char> file, const BitmapLayout& layout,
                   std::int32_t transparent) {
    for (std::size_t i = 0; i < layout.colour_count; ++i) {
        if (static_cast<std::int32_t>(i) == transparent) continue;
        const std::uint32_t key = table_colour(file, layout, i);
        if (palette.index_of.count(key) != 0) continue;
        if (palette.in_use == kPaletteEntries) return false;
        auto& entry = palette.entries[static_cast<std::size_t>(palette.in_use)];
        entry.blue = static_cast<std::uint8_t>(key);
        entry.green = static_cast<std::uint8_t>(key >> 8);
        entry.red = static_cast<std::uint8_t>(key >> 16);
        entry.reserved = 0;
        palette.index_of.emplace(key, palette.in_use);
        ++palette.in_use;
    }
    return true;
}

void directive_bitmap(Compiler& c) {
    const SourcePoint directive = c.listener != nullptr ? c.point_here() : SourcePoint{};
    std::int32_t number = 0;
    std::int32_t transparent = 0;
    if (!c.lex.read_integer(number, true)) return;
    const FileNameResult name = c.lex.read_file_name(kFileNameMax, true);
    if (!file_name_read(c, name)) return;
    if (c.listener != nullptr) {
        c.listener->resource_declared(ResourceKind::bitmap, directive, number);
        c.listener->file_named(c.name_here(name.name), c.resolve(name.name));
    }
    if (!c.lex.read_integer(transparent, true)) return;
    PassState& p = c.p();
    if (p.bitmap_numbers.count(number) != 0) c.diag.report_error(msg::bitmap_number_twice);
    const std::string path = c.resolve(name.name);
    const auto file = read_whole_file(path);
    if (file) c.run.inputs.add(path);
    const auto layout = accept_bitmap(c, name.name, file);
    if (transparent < 0 || transparent > kMaxTransparentIndex) c.diag.report_error(msg::transparent_out_of_range);
    if (layout) {
        const auto probe = probe_bitmap(*file);
        p.bitmaps.push_back(
            {number, name.name, transparent, probe->width, probe->height, probe->header_kind, content_digest(*file)});
        p.bitmap_numbers.insert(number);
        if (!merge_palette(p.palette, *file, *layout, transparent)) c.diag.report_error(msg::palette_full);
    }
    c.lex.end_directive();
}

bool bitmap_file_unchanged(const Compiler& c, const BitmapRecord& b) {
    const auto file = read_whole_file(c.resolve(b.file_name));
    return file && content_digest(*file) == b.digest;
}

void write_bitmap_section(Compiler& c) {
    if (c.diag.error_count() != 0) return;
    const SharedPalette& palette = c.p().palette;
    const auto& bitmaps = c.p().bitmaps;
    c.sink.emit_word(format::kPaletteVersion);
    c.sink.emit_word(static_cast<std::uint32_t>(palette.in_use));
    emit_palette(c, palette, ColourOrder::rgb0);
    c.sink.emit_dword(static_cast<std::uint32_t>(bitmaps.size()));
    std::int64_t offset = c.run.layout.bitmap_section + bitmap_data_start(bitmaps.size());
    for (const BitmapRecord& b : bitmaps) {
        c.sink.emit_dword(static_cast<std::uint32_t>(b.number));
        c.sink.emit_dword(static_cast<std::uint32_t>(offset));
        offset += bitmap_data_size(b);
    }
    for (const BitmapRecord& b : bitmaps) emit_bitmap_data(c, b);
}

std::int64_t bitmap_data_size(const BitmapRecord& b) {
    return static_cast<std::int64_t>(format::kBitmapDataFixedSize) + format::bitmap_stride(b.width) * b.height;
}

std::int64_t bitmap_data_start(std::size_t bitmaps) {
    return static_cast<std::int64_t>(format::kBitmapSectionFixedSize + format::kBitmapDirectoryEntry * bitmaps);
}

std::int64_t bitmap_section_size(const std::vector<BitmapRecord>& bitmaps) {
    std::int64_t size = bitmap_data_start(bitmaps.size());
    for (const BitmapRecord& b : bitmaps) size += bitmap_data_size(b);
    return size;
}

}  // namespace oxbuild
