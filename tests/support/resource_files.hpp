// Resource files made at test time: 8-bit BMP files (40-byte information
// header or 12-byte core header) and RIFF files, with every field the tests
// need to vary. Also the three resource sections of a compiled module.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.hpp"

namespace oxtest {

struct Colour {
    std::uint8_t blue = 0, green = 0, red = 0;
    bool operator==(const Colour&) const = default;
};

// The BMP file format's own sizes.
inline constexpr std::size_t kBmpFileHeaderSize = 14;
inline constexpr std::uint32_t kBmpInfoHeaderSize = 40;
inline constexpr std::uint32_t kBmpCoreHeaderSize = 12;
inline constexpr std::size_t kBmpFullColourTable = 256;

// What a test BMP file holds, field by field.
struct BmpContents {
    std::int32_t width = 1;
    std::int32_t height = 1;  // core header: written as 16 bits
    std::uint16_t bit_count = 8;
    std::uint32_t compression = 0;     // information header only
    std::uint32_t colours_used = 0;    // information header only; 0 means 256
    bool core_header = false;
    std::vector<Colour> colours{};     // the colour table, padded with black to table_entries()
    Bytes pixels{};                    // written as given, after the colour table
    std::optional<std::uint32_t> file_size_field{};  // the header's size field; the real size when unset
};

// Entries the colour table is written with: 256 for the core header and for
// colours used 0, else colours used (at most 256, so a bogus count stays small).
std::size_t table_entries(const BmpContents& bmp);
Bytes make_bmp(const BmpContents& bmp);
void write_bmp(const std::string& path, const BmpContents& bmp);

// Pixel rows given without padding, each padded with pad bytes to the stride.
Bytes padded_rows(const std::vector<Bytes>& rows, std::size_t stride, unsigned char pad = 0);

// "RIFF", the size of what follows, the form type, then the payload.
Bytes make_riff(std::string_view form, const Bytes& payload);
// A short 8-bit mono PCM wave: fmt and data chunks with the given samples.
Bytes make_wave(const Bytes& samples);
// A RIFF file of the given size whose payload is a hole: a file of gigabytes
// that takes no space on disk.
void write_sparse_riff(const std::string& path, std::int64_t size);

// The resource sections of a module, found through the header's offsets.
Bytes bitmap_section(const Bytes& module);
Bytes wave_section(const Bytes& module);
Bytes menu_section(const Bytes& module);  // to the end of the file

}  // namespace oxtest
