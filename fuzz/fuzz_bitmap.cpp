// The bitmap directive and section writer on one bitmap file's bytes: the
// header probe, the refusal checks, the palette merge and the translation.
// The fuzzed file is attached twice (transparent index 0 and 255) after a
// known-good bitmap, so that it merges into a palette already in use. When
// a module is created, its pixels are checked against the file's own
// colours: every pixel must show the colour the file gives it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "fuzz_support.hpp"

namespace {

using oxfuzz::Bytes;

constexpr std::string_view kSource =
    "#bitmap 1 \"good.bmp\" 1\n"
    "#bitmap 2 \"f.bmp\" 0\n"
    "#bitmap 3 \"f.bmp\" 255\n";
constexpr std::size_t kBitmaps = 3;
constexpr std::array<std::uint32_t, kBitmaps> kTransparent = {1, 0, 255};

std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

struct Rgb {
    std::uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};

// Where an accepted file keeps its colour table and pixels, read the way the
// format defines it (the module exists, so the compiler accepted the file).
struct FileView {
    std::span<const std::uint8_t> bytes;
    std::size_t table = 0, entry_size = 0, colours = 0, after_table = 0;

    explicit FileView(std::span<const std::uint8_t> b) : bytes(b) {
        const std::uint32_t header = u32(b, 14);
        table = 14 + header;
        const bool core = header == 12;
        entry_size = core ? 3 : 4;
        colours = core || u32(b, 14 + 32) == 0 ? 256 : u32(b, 14 + 32);
        after_table = table + colours * entry_size;
    }
    // The rows begin where the file header says when that lies past the
    // colour table and leaves room for them, else right after the table.
    std::size_t pixels(std::size_t image) const {
        const std::uint64_t stated = u32(bytes, 10);
        return stated > after_table && stated + image <= bytes.size() ? stated : after_table;
    }
    Rgb colour(std::size_t index) const {
        const std::size_t at = table + index * entry_size;
        return {bytes[at + 2], bytes[at + 1], bytes[at]};
    }
};

// Every pixel of one bitmap in the module: 0 for the transparent index and
// for indexes past the colour table, else an entry of the shared palette
// holding the file's colour for it.
void check_translation(const oxfuzz::Outcome& outcome, const FileView& file, std::size_t bitmap) {
    const Bytes& m = outcome.module;
    const std::uint32_t section = u32(m, 164);
    std::array<Rgb, 256> palette{};
    for (std::size_t i = 0; i < palette.size(); ++i)
        palette[i] = {m[section + 4 + 4 * i], m[section + 5 + 4 * i], m[section + 6 + 4 * i]};
    const std::uint32_t data = u32(m, section + 1032 + 8 * bitmap + 4);
    const std::uint32_t image = u32(m, data + 20);
    const std::size_t pixels = file.pixels(image);
    if (pixels + image > file.bytes.size()) oxfuzz::fail("module holds more pixels than the file", outcome);
    for (std::size_t i = 0; i < image; ++i) {
        const std::uint8_t source = file.bytes[pixels + i];
        const std::uint8_t written = m[data + 1064 + i];
        const bool clear = source == kTransparent[bitmap] || source >= file.colours;
        if (clear ? written != 0 : written == 0 || palette[written] != file.colour(source))
            oxfuzz::fail("pixel translated to the wrong palette entry", outcome);
    }
}

void check_bitmaps(const oxfuzz::Outcome& outcome, std::span<const std::uint8_t> data) {
    const Bytes& m = outcome.module;
    const std::uint32_t section = u32(m, 164);
    if (u32(m, section + 1028) != kBitmaps) oxfuzz::fail("bitmap count", outcome);
    const FileView file(data);
    const bool core = u32(data, 14) == 12;
    const std::int64_t width = core ? u16(data, 18) : static_cast<std::int32_t>(u32(data, 18));
    const std::int64_t height = core ? u16(data, 20) : static_cast<std::int32_t>(u32(data, 22));
    for (std::size_t bitmap = 1; bitmap < kBitmaps; ++bitmap) {
        const std::uint32_t at = u32(m, section + 1032 + 8 * bitmap + 4);
        if (u32(m, at + 4) != width || u32(m, at + 8) != height) oxfuzz::fail("bitmap dimensions", outcome);
        check_translation(outcome, file, bitmap);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const oxfuzz::Workspace& workspace = oxfuzz::Workspace::get();
    workspace.write("good.bmp", oxfuzz::make_bitmap(3, 2, 16, 40));
    workspace.write("prog.oxs", kSource);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const oxfuzz::Workspace& workspace = oxfuzz::Workspace::get();
    workspace.write("f.bmp", std::span(data, size));
    const oxfuzz::Outcome outcome = oxfuzz::compile("prog.oxs");
    oxfuzz::check_outcome(outcome);
    if (outcome.created) check_bitmaps(outcome, std::span(data, size));
    return 0;
}
