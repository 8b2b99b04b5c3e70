// --extract: every bitmap comes back as an 8-bit BMP file that is parsed
// here field by field, every wave as the very file it was copied from.
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>

#include "dump_support.hpp"

using namespace oxdumptest;
using oxtest::Compiled;
using oxtest::TempDir;

namespace {

constexpr std::size_t kBmpFileSize = 14 + 40 + 1024 + 8;  // both example bitmaps hold 8 pixel bytes

// The shared palette of the directive example as a BMP stores it: blue,
// green, red, 0; entries not in use are zero.
Bytes expected_palette() {
    Bytes palette(1024, 0);
    const Bytes in_use = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0x56, 0x34, 0x12, 0, 0, 0, 0, 0};
    std::copy(in_use.begin(), in_use.end(), palette.begin());
    return palette;
}

// Checks an extracted bitmap: file header, information header, palette and
// the translated pixels.
void expect_bmp(const Bytes& file, std::int32_t width, std::int32_t height, const Bytes& pixels) {
    ASSERT_EQ(file.size(), kBmpFileSize);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(oxtest::dword_at(file, 2), kBmpFileSize);
    EXPECT_EQ(oxtest::dword_at(file, 6), 0u);                  // reserved
    EXPECT_EQ(oxtest::dword_at(file, 10), 14u + 40u + 1024u);  // pixel data offset
    EXPECT_EQ(oxtest::dword_at(file, 14), 40u);
    EXPECT_EQ(static_cast<std::int32_t>(oxtest::dword_at(file, 18)), width);
    EXPECT_EQ(static_cast<std::int32_t>(oxtest::dword_at(file, 22)), height);
    EXPECT_EQ(oxtest::word_at(file, 26), 1u);   // planes
    EXPECT_EQ(oxtest::word_at(file, 28), 8u);   // bits per pixel
    EXPECT_EQ(oxtest::dword_at(file, 30), 0u);  // no compression
    EXPECT_EQ(oxtest::dword_at(file, 34), pixels.size());
    EXPECT_EQ(oxtest::dword_at(file, 38), 5906u);
    EXPECT_EQ(oxtest::dword_at(file, 42), 5906u);
    EXPECT_EQ(oxtest::dword_at(file, 46), 0u);  // colours used: all 256
    EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 1078), expected_palette());
    EXPECT_EQ(Bytes(file.begin() + 1078, file.end()), pixels);
}

std::string module_path(const TempDir& dir) { return dir / "prog.oxb"; }

// "extracted DIR/NAME" lines, the name joined as the system joins names.
std::string extracted_lines(const std::string& directory, std::initializer_list<const char*> names) {
    std::string lines;
    for (const char* name : names) lines += "extracted " + (std::filesystem::path(directory) / name).string() + "\n";
    return lines;
}

}  // namespace

TEST(OxdumpExtract, BitmapsAndWavesComeBackAsFiles) {
    TempDir dir;
    ASSERT_EQ(compile_resource_example(dir).out, oxtest::created_output());
    const std::string out = dir / "out";
    const Dump d = run_dump({"--extract", out, module_path(dir)});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(d.err, "");
    EXPECT_TRUE(d.out.ends_with(extracted_lines(out, {"bitmap_7.bmp", "bitmap_-1.bmp", "wave_3.wav", "wave_4.riff"})))
        << d.out;
    // Bitmap 7: red, green, (transparent), white -> 1, 2, 0, 3; the row
    // padding byte, 0 in the file, is translated like any pixel.
    expect_bmp(oxtest::read_file(out + "/bitmap_7.bmp"), 3, 2, {1, 2, 0, 1, 3, 0, 2, 1});
    // Bitmap -1: (transparent), green, #123456, black -> 0, 2, 4, 5.
    expect_bmp(oxtest::read_file(out + "/bitmap_-1.bmp"), 5, 1, {0, 2, 4, 5, 5, 0, 0, 0});
    EXPECT_EQ(oxtest::read_file(out + "/wave_3.wav"), oxtest::read_file(dir / "s.wav"));
    EXPECT_EQ(oxtest::read_file(out + "/wave_4.riff"), oxtest::read_file(dir / "t.riff"));
}

// Numbers repeat only in a module the compiler did not write; no file is
// overwritten then.
TEST(OxdumpExtract, RepeatedNumbersGetFilesOfTheirOwn) {
    TempDir dir;
    Bytes module = compile_resource_example(dir).module;
    module = patched_dword(module, 1380, 7);  // bitmap -1 becomes a second bitmap 7
    module = patched_dword(module, 3548, 3);  // wave 4 becomes a second wave 3
    oxtest::write_file(module_path(dir), module);
    const std::string out = dir / "out";
    const Dump d = run_dump({"--extract=" + out, module_path(dir)});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_TRUE(d.out.ends_with(extracted_lines(out, {"bitmap_7.bmp", "bitmap_7-2.bmp", "wave_3.wav", "wave_3-2.riff"})))
        << d.out;
    expect_bmp(oxtest::read_file(out + "/bitmap_7-2.bmp"), 5, 1, {0, 2, 4, 5, 5, 0, 0, 0});
    EXPECT_EQ(oxtest::read_file(out + "/wave_3-2.riff"), oxtest::read_file(dir / "t.riff"));
}

TEST(OxdumpExtract, UnwritableDirectoryFailsWithStatus2) {
    TempDir dir;
    compile_resource_example(dir);
    oxtest::write_file(dir / "plain", std::string_view("x"));
    const std::string out = dir / "plain/out";
    const Dump d = run_dump({"--extract", out, module_path(dir)});
    EXPECT_EQ(d.status, 2);
    EXPECT_TRUE(d.err.starts_with("oxdump: cannot create " + out + ": ")) << d.err;
    EXPECT_EQ(std::count(d.err.begin(), d.err.end(), '\n'), 1);
}
