// What the resource directives record in a pass: bitmaps with the shared
// palette, waves and menus, and the four module text fields.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace oxbuild {

enum class BitmapHeaderKind : std::uint8_t { info = 0, core = 1 };

struct BitmapRecord {
    std::int32_t number = 0;
    std::string file_name;  // as written in the directive
    std::int32_t transparent = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    BitmapHeaderKind header_kind = BitmapHeaderKind::info;
    std::uint64_t digest = 0;  // of the file's bytes as the directive read them
};

inline constexpr int kPaletteEntries = 256;

// The palette all bitmaps share: entry 0 stands for the transparent colour,
// entries from 1 on hold distinct colours in the order first met.
struct SharedPalette {
    struct Entry {
        std::uint8_t blue = 0, green = 0, red = 0, reserved = 0;
    };
    std::array<Entry, kPaletteEntries> entries{};
    int in_use = 1;
    std::unordered_map<std::uint32_t, int> index_of;  // blue|green|red -> first entry from 1 on
};

struct WaveRecord {
    std::int32_t number = 0;
    std::string file_name;
    std::int64_t size = 0;
};

// A menu is kept flat, in source order, so that pop-ups nested to any depth
// need no recursion to build, encode or free.
struct MenuEntry {
    enum class Kind : std::uint8_t { popup_open, popup_close, item };
    Kind kind = Kind::item;
    std::string text;
    std::int32_t id = 0;
    std::int32_t value = 0;
};

struct Menu {
    std::int32_t number = 0;
    std::vector<MenuEntry> entries;
};

// The four text fields of the module header.
enum TextField { kModuleName = 0, kCopyright = 1, kVersion = 2, kComment = 3, kTextFieldCount = 4 };

struct TextFields {
    std::array<std::string, kTextFieldCount> text;
    std::array<bool, kTextFieldCount> seen{};
};

}  // namespace oxbuild
