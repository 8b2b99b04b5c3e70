// Helpers for the module inspector's tests: running it in process or as the
// built binary, cutting one block out of a listing, patching module bytes,
// and the small BMP and RIFF files the resource modules are built from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.hpp"

namespace oxdumptest {

using oxtest::Bytes;

struct Dump {
    int status = 0;
    std::string out;
    std::string err;
};

// The inspector in process, on bytes or on a command line.
Dump dump_bytes(const Bytes& module, std::string_view name = "prog.oxb");
Dump run_dump(const std::vector<std::string>& args);
// The built oxdump binary, in the directory.
Dump run_dump_binary(const std::vector<std::string>& args, const std::string& cwd);

// The lines from the first one that begins with `from` up to, not
// including, the first later one that begins with `to` ("" for the end).
std::string block(const std::string& listing, std::string_view from, std::string_view to);

// A copy with a little-endian value written over the bytes at the offset.
Bytes patched_dword(Bytes module, std::size_t at, std::uint32_t value);
Bytes patched_word(Bytes module, std::size_t at, std::uint16_t value);

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
};

// An 8-bit BMP file with the 40-byte information header: the colour table
// holds the colours (colours used = their count, or 256 entries padded with
// black when all256 is set), then the pixel bytes as given.
Bytes bmp_file(std::int32_t width, std::int32_t height, const std::vector<Rgb>& colours, const Bytes& pixels,
               bool all256 = false);
// "RIFF", the size of the rest, then the rest as given.
Bytes riff_file(std::string_view rest);

// The directive example: four text fields, bitmaps 7 (a.bmp, 3 x 2) and -1
// (b.bmp, 5 x 1), waves 3 (s.wav, 48 bytes) and 4 (t.riff, 10 bytes), menus
// 1 and 2, and an OnMenuItemSelected handler. Its files are written into the
// directory, and the module is compiled there; it is 3724 bytes long.
oxtest::Compiled compile_resource_example(const oxtest::TempDir& dir);

}  // namespace oxdumptest
