// Reads the three resource sections. Each is read through a cursor over its
// own part of the file, so no directory entry can reach into another
// section; every data offset must be where the entries before it end, and
// each section exactly as long as its contents.
#include "format/module_format.hpp"
#include "oxdump/module_reader.hpp"

namespace oxdump {

namespace {

namespace fmt = oxbuild::format;

// The BMP information header as the compiler writes it into a module.
constexpr std::uint16_t kBitCount = 8;
constexpr std::uint32_t kNoCompression = 0;
constexpr Offset kWidthField = 4, kBitCountField = 14, kCompressionField = 16, kImageSizeField = 20;
constexpr Offset kInfoHeaderTail = 16;        // resolutions, colours used, colours important
constexpr std::size_t kPaletteEntrySize = 4;  // red, green, blue, 0
constexpr std::size_t kPaletteEntries = fmt::kPaletteSize / kPaletteEntrySize;
constexpr std::string_view kRiffMagic = "RIFF";
constexpr Offset kRiffFormOffset = 8;
constexpr Offset kRiffFormSize = 4;

// The section must end where the next one begins.
void check_section_end(Offset end, Offset next_section, Offset next_field, std::string_view section,
                       std::string_view next_name) {
    if (end != next_section)
        fail(next_field, std::string(next_name) + " offset " + std::to_string(next_section) + ", but the " +
                             std::string(section) + " ends at " + std::to_string(end));
}

std::vector<PaletteColour> read_palette(Cursor& in) {
    const Offset version_at = in.offset();
    const std::uint16_t version = in.word("palette version");
    if (version != fmt::kPaletteVersion)
        fail(version_at, "palette version " + hex(version) + " is not " + hex(fmt::kPaletteVersion));
    const Offset count_at = in.offset();
    const std::uint16_t in_use = in.word("palette entry count");
    if (in_use < 1 || in_use > kPaletteEntries)
        fail(count_at,
             "palette entry count " + std::to_string(in_use) + " lies outside 1 to " + std::to_string(kPaletteEntries));
    std::vector<PaletteColour> palette;
    for (std::size_t i = 0; i < kPaletteEntries; ++i) {
        PaletteColour c;
        c.red = in.byte("palette entry");
        c.green = in.byte("palette entry");
        c.blue = in.byte("palette entry");
        in.byte("palette entry");
        if (i < in_use) palette.push_back(c);
    }
    return palette;
}

// The information header, the bitmap's palette and its pixel rows, all
// inside the bitmap section.
Bitmap read_bitmap(const Cursor& section, std::int32_t number, Offset data) {
    Cursor in = section.window(data, section.end(), "the bitmap section", "bitmap data");
    Bitmap b;
    b.number = number;
    b.data = data;
    const std::string name = "bitmap " + std::to_string(number);
    if (in.dword("bitmap header size") != fmt::kBitmapInfoHeaderSize)
        fail(data, name + ": information header size is not " + std::to_string(fmt::kBitmapInfoHeaderSize));
    b.width = in.signed_dword("bitmap width");
    b.height = in.signed_dword("bitmap height");
    if (b.width < 1 || b.height < 1)
        fail(data + kWidthField,
             name + ": size " + std::to_string(b.width) + " x " + std::to_string(b.height) + " is not positive");
    in.word("bitmap planes");
    if (in.word("bitmap bit count") != kBitCount) fail(data + kBitCountField, name + ": bit count is not 8");
    if (in.dword("bitmap compression") != kNoCompression)
        fail(data + kCompressionField, name + ": pixels are compressed");
    b.stride = static_cast<Offset>(fmt::bitmap_stride(b.width));
    const Offset image_size = b.stride * static_cast<Offset>(b.height);
    const Offset stored_size = in.dword("bitmap image size");
    if (stored_size != image_size)
        fail(data + kImageSizeField, name + ": image size " + std::to_string(stored_size) + " is not stride x height " +
                                         std::to_string(image_size));
    in.bytes(kInfoHeaderTail, "bitmap header");
    in.bytes(fmt::kPaletteSize, "bitmap palette");
    b.pixels = in.offset();
    in.bytes(image_size, "bitmap pixels");
    return b;
}

Menu read_menu(const Cursor& section, Offset data);

}  // namespace

BitmapSection read_bitmap_section(std::span<const std::uint8_t> file, const Module& m) {
    const Header& h = m.header;
    Cursor in(file, h.bitmap_section, h.wave_section, "the bitmap section");
    BitmapSection s;
    s.palette = read_palette(in);
    s.colours_in_use = static_cast<std::uint16_t>(s.palette.size());
    const std::uint32_t count = in.dword("bitmap count");
    in.require(count, fmt::kBitmapDirectoryEntry, "bitmap directory entries");
    Offset end = in.offset() + fmt::kBitmapDirectoryEntry * Offset{count};
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::int32_t number = in.signed_dword("bitmap number");
        const Offset data = in.expected_offset("bitmap data offset", end);
        s.bitmaps.push_back(read_bitmap(in, number, data));
        end += fmt::kBitmapDataFixedSize + s.bitmaps.back().stride * static_cast<Offset>(s.bitmaps.back().height);
    }
    check_section_end(end, h.wave_section, fmt::kWaveSectionField, "bitmap section", "wave section");
    return s;
}

std::vector<Wave> read_wave_section(std::span<const std::uint8_t> file, const Module& m) {
    const Header& h = m.header;
    Cursor in(file, h.wave_section, h.menu_section, "the wave section");
    const std::uint32_t count = in.dword("wave count");
    in.require(count, fmt::kWaveDirectoryEntry, "wave directory entries");
    std::vector<Wave> waves;
    Offset end = in.offset() + fmt::kWaveDirectoryEntry * Offset{count};
    for (std::uint32_t k = 0; k < count; ++k) {
        Wave w;
        w.number = in.signed_dword("wave number");
        w.data = in.expected_offset("wave data offset", end);
        w.size = in.dword("wave size");
        Cursor data = in.window(w.data, in.end(), "the wave section", "wave data");
        const auto bytes = data.bytes(w.size, "wave data");
        if (w.size < kRiffMagic.size() ||
            std::string_view(reinterpret_cast<const char*>(bytes.data()), kRiffMagic.size()) != kRiffMagic)
            fail(w.data, "wave " + std::to_string(w.number) + " does not begin with \"RIFF\"");
        if (w.size >= kRiffFormOffset + kRiffFormSize)
            w.form = std::string(reinterpret_cast<const char*>(bytes.data()) + kRiffFormOffset, kRiffFormSize);
        waves.push_back(w);
        end += w.size;
    }
    check_section_end(end, h.menu_section, fmt::kMenuSectionField, "wave section", "menu section");
    return waves;
}

std::vector<Menu> read_menu_section(std::span<const std::uint8_t> file, const Module& m) {
    const Offset section = m.header.menu_section;
    Cursor in(file, section, file.size(), "the file");
    const Offset marker_at = in.offset();
    if (in.dword("menu table marker") != fmt::kMenuTableMarker)
        fail(marker_at, "menu table marker is not " + std::to_string(fmt::kMenuTableMarker));
    const Offset directory_at = in.offset();
    if (in.dword("menu directory offset") != section + fmt::kMenuDirectoryDelta)
        fail(directory_at, "menu directory offset is not " + std::to_string(section + fmt::kMenuDirectoryDelta));
    in.dword("reserved field");
    const std::uint32_t count = in.dword("menu count");
    in.require(count, kDwordSize, "menu offsets");
    std::vector<Menu> menus;
    Offset end = in.offset() + kDwordSize * Offset{count};
    for (std::uint32_t k = 0; k < count; ++k) {
        const Offset data = in.expected_offset("menu offset", end);
        menus.push_back(read_menu(in, data));
        end += menus.back().size;
    }
    if (end != file.size())
        fail(end, "the file goes on for " + count_of(file.size() - end, "byte") + " after the last menu");
    return menus;
}

namespace {

// Text bytes, a zero, and one more zero when the length is even.
std::string read_menu_text(Cursor& in) {
    std::string text = in.zero_terminated("menu text");
    if (text.size() % 2 == 0) {
        const Offset at = in.offset();
        if (in.byte("menu text padding") != 0) fail(at, "menu text padding byte is not zero");
    }
    return text;
}

// The menu number, entries, and the end word; pop-ups nest without limit,
// so the nesting is counted rather than recursed into.
Menu read_menu(const Cursor& section, Offset data) {
    Cursor in = section.window(data, section.end(), "the file", "menu data");
    Menu menu;
    menu.data = data;
    menu.number = in.word("menu number");
    std::size_t depth = 0;
    while (true) {
        const Offset at = in.offset();
        const std::uint16_t kind = in.word("menu entry kind");
        if (kind == fmt::kMenuEnd) {
            if (depth == 0) break;
            --depth;
            continue;
        }
        MenuLine line;
        line.depth = depth;
        if (kind == fmt::kMenuPopup) {
            line.kind = MenuLine::Kind::popup;
            line.text = read_menu_text(in);
            ++depth;
        } else if (kind == fmt::kMenuItem) {
            line.text = read_menu_text(in);
            line.id = in.word("menu item ID");
            line.value = in.signed_dword("menu item value");
        } else {
            fail(at, "menu " + std::to_string(menu.number) + ": unknown entry kind " + std::to_string(kind));
        }
        menu.lines.push_back(std::move(line));
    }
    menu.size = in.offset() - data;
    return menu;
}

}  // namespace

}  // namespace oxdump
