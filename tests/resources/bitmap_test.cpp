// #bitmap: colours merged into one shared palette, the bitmap section
// written byte for byte, and every way a file is refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "format/module_format.hpp"
#include "support/resource_files.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

// A module without functions: its sections begin at the code base 272.
constexpr std::uint32_t kSections = 272;

// The bitmap section's layout.
constexpr std::uint32_t kPaletteVersion = 0x300;
constexpr std::size_t kSharedEntries = 256;
constexpr std::uint32_t kSectionHead = 1032;       // version, count, palette, N
constexpr std::uint32_t kDirectoryEntry = 8;       // number, data offset
constexpr std::uint32_t kDataHead = 1064;          // information header + palette copy
constexpr std::uint32_t kInfoHeader = 40;
constexpr std::uint32_t kPixelsPerMetre = 5906;    // 150 dots per inch
constexpr std::size_t kImageSizeInData = 20;       // the information header's image size field

const std::string kProg = "prog.oxs";

struct ExpectedBitmap {
    std::int32_t number;
    std::int32_t width;
    std::int32_t height;
    Bytes pixels;  // already translated into the shared palette
};

// The 256 shared entries: entry 0 (the transparent colour), the given
// entries from 1 on, zeros after them; each as red, green, blue, 0 or as
// blue, green, red, 0.
Bytes shared_palette(const std::vector<Colour>& shared, bool red_first) {
    ByteWriter w;
    w.dword(0);
    for (const Colour& c : shared) {
        if (red_first) w.byte(c.red).byte(c.green).byte(c.blue).byte(0);
        else w.byte(c.blue).byte(c.green).byte(c.red).byte(0);
    }
    w.zeros(4 * (kSharedEntries - 1 - shared.size()));
    return w.get();
}

void info_header(ByteWriter& w, const ExpectedBitmap& b) {
    w.dword(kInfoHeader).dword(static_cast<std::uint32_t>(b.width)).dword(static_cast<std::uint32_t>(b.height));
    w.word(1).word(8).dword(0).dword(static_cast<std::uint32_t>(b.pixels.size()));
    w.dword(kPixelsPerMetre).dword(kPixelsPerMetre).dword(0).dword(0);
}

// The whole section, at file offset at, from the shared palette's entries
// from 1 on and the bitmaps.
Bytes expected_section(std::uint32_t at, const std::vector<Colour>& shared,
                       const std::vector<ExpectedBitmap>& bitmaps) {
    ByteWriter w;
    w.word(kPaletteVersion).word(static_cast<std::uint32_t>(shared.size() + 1));
    w.bytes(shared_palette(shared, true));
    w.dword(static_cast<std::uint32_t>(bitmaps.size()));
    std::uint32_t data = at + kSectionHead + kDirectoryEntry * static_cast<std::uint32_t>(bitmaps.size());
    for (const ExpectedBitmap& b : bitmaps) {
        w.dword(static_cast<std::uint32_t>(b.number)).dword(data);
        data += kDataHead + static_cast<std::uint32_t>(b.pixels.size());
    }
    for (const ExpectedBitmap& b : bitmaps) {
        info_header(w, b);
        w.bytes(shared_palette(shared, false)).bytes(b.pixels);
    }
    return w.get();
}

Compiled compile_ok(const TempDir& dir, std::string_view source) {
    Compiled result = compile_in(dir, source);
    EXPECT_EQ(result.out, created_output());
    return result;
}

// A valid 1x1 bitmap of one colour.
BmpContents small_bitmap() {
    BmpContents bmp;
    bmp.colours_used = 1;
    bmp.colours = {{0x11, 0x22, 0x33}};
    bmp.pixels = {0, 0, 0, 0};
    return bmp;
}

Bytes patched_dword(Bytes file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
    return file;
}

std::uint32_t section_offset_of_data(const Bytes& section, std::size_t bitmap) {
    return dword_at(section, kSectionHead + kDirectoryEntry * bitmap + 4) - kSections;
}

}  // namespace

TEST(Bitmaps, TwoBitmapsShareOnePaletteAndKeepTheirRows) {
    TempDir dir;
    // a.bmp: 3x2, index 0 transparent; rows stored bottom-up, kept as they are.
    BmpContents a;
    a.width = 3;
    a.height = 2;
    a.colours_used = 3;
    a.colours = {{10, 20, 30}, {1, 2, 3}, {4, 5, 6}};
    a.pixels = padded_rows({{0, 1, 2}, {2, 1, 0}}, 4);
    write_bmp(dir / "a.bmp", a);
    // b.bmp: 5x1, index 2 transparent; its colours 0 and 3 are already
    // shared, black is new, and pixel 4 lies past its colour table.
    BmpContents b;
    b.width = 5;
    b.height = 1;
    b.colours_used = 4;
    b.colours = {{4, 5, 6}, {0, 0, 0}, {9, 9, 9}, {1, 2, 3}};
    b.pixels = padded_rows({{0, 1, 2, 3, 4}}, 8);
    write_bmp(dir / "b.bmp", b);

    const Compiled result = compile_ok(dir, "#bitmap 1 \"a.bmp\" 0\n#bitmap 7 \"b.bmp\" 2\n");
    ASSERT_EQ(dword_at(result.module, format::kBitmapSectionField), kSections);
    // Shared: 1 = (1,2,3), 2 = (4,5,6), 3 = black; neither transparent colour.
    // b translates 0->2, 1->3, 2->0, 3->1, 4->0; its padding bytes (0) too.
    const Bytes expected = expected_section(kSections, {{1, 2, 3}, {4, 5, 6}, {0, 0, 0}},
                                            {{1, 3, 2, {0, 1, 2, 0, 2, 1, 0, 0}}, {7, 5, 1, {2, 3, 0, 1, 0, 2, 2, 2}}});
    ASSERT_EQ(expected.size(), 3192u);  // 1032 + 2 * (8 + 1064 + 8)
    EXPECT_EQ(hex(bitmap_section(result.module)), hex(expected));
    EXPECT_EQ(dword_at(result.module, format::kWaveSectionField), kSections + 3192);
}

TEST(Bitmaps, StrideIsWidthRoundedUpToFour) {
    TempDir dir;
    std::string source;
    for (const std::int32_t width : {3, 4, 5}) {
        BmpContents bmp = small_bitmap();
        bmp.width = width;
        bmp.height = 2;
        const std::size_t stride = width == 5 ? 8 : 4;
        bmp.pixels.assign(stride * 2, 0);
        const std::string name = std::string("w").append(std::to_string(width)).append(".bmp");
        write_bmp(dir / name, bmp);
        source += "#bitmap " + std::to_string(width) + " \"" + name + "\" 0\n";
    }
    const Compiled result = compile_ok(dir, source);
    const Bytes section = bitmap_section(result.module);
    // Data offsets: after the 24-byte directory, then 1064 + S*h apart.
    EXPECT_EQ(dword_at(section, kSectionHead + 4), kSections + 1032 + 24);
    EXPECT_EQ(dword_at(section, kSectionHead + 12), kSections + 1032 + 24 + 1064 + 8);
    EXPECT_EQ(dword_at(section, kSectionHead + 20), kSections + 1032 + 24 + 2 * (1064 + 8));
    const std::uint32_t image_sizes[] = {8, 8, 16};
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(dword_at(section, section_offset_of_data(section, i) + kImageSizeInData), image_sizes[i]) << i;
    EXPECT_EQ(section.size(), 1032u + 3 * (8 + 1064) + 8 + 8 + 16);
}

TEST(Bitmaps, ColoursUsedLimitsTheTableAndLaterIndexesBecomeZero) {
    TempDir dir;
    BmpContents bmp;
    bmp.width = 4;
    bmp.colours_used = 16;
    std::vector<Colour> shared;
    for (std::uint8_t i = 0; i < 16; ++i) {
        bmp.colours.push_back({i, 0x40, 0x80});
        if (i != 0) shared.push_back({i, 0x40, 0x80});
    }
    bmp.pixels = {1, 15, 16, 255};
    write_bmp(dir / "c16.bmp", bmp);
    const Compiled result = compile_ok(dir, "#bitmap 2 \"c16.bmp\" 0\n");
    EXPECT_EQ(hex(bitmap_section(result.module)), hex(expected_section(kSections, shared, {{2, 4, 1, {1, 15, 0, 0}}})));
}

TEST(Bitmaps, CoreHeaderFileHasThreeByteColours) {
    TempDir dir;
    BmpContents bmp;
    bmp.core_header = true;
    bmp.width = 2;
    bmp.height = 2;
    bmp.colours = {{1, 1, 1}, {2, 2, 2}};  // the other 254 entries are black
    bmp.pixels = padded_rows({{0, 1}, {5, 255}}, 4);
    write_bmp(dir / "core.bmp", bmp);
    const Compiled result = compile_ok(dir, "#bitmap 3 \"core.bmp\" 255\n");
    // 0->1, 1->2, every black index->3, 255 (transparent)->0.
    const Bytes expected =
        expected_section(kSections, {{1, 1, 1}, {2, 2, 2}, {0, 0, 0}}, {{3, 2, 2, {1, 2, 1, 1, 3, 0, 1, 1}}});
    EXPECT_EQ(hex(bitmap_section(result.module)), hex(expected));
}

TEST(Bitmaps, ColourTableFollowsALongerInformationHeader) {
    // Newer BMP writers use a 124-byte header; it is read as the 40-byte
    // header, and the colour table starts after all 124 bytes.
    constexpr std::uint32_t kLongHeader = 124;
    BmpContents bmp = small_bitmap();
    bmp.colours_used = 2;
    bmp.colours = {{0x11, 0x22, 0x33}, {0x44, 0x55, 0x66}};
    bmp.pixels = {1, 0, 0, 0};
    Bytes file = make_bmp(bmp);
    const auto header_end = file.begin() + static_cast<std::ptrdiff_t>(kBmpFileHeaderSize + kBmpInfoHeaderSize);
    file.insert(header_end, kLongHeader - kBmpInfoHeaderSize, 0xEE);
    file = patched_dword(file, kBmpFileHeaderSize, kLongHeader);
    TempDir dir;
    write_file(dir / "v5.bmp", file);
    const Compiled result = compile_ok(dir, "#bitmap 1 \"v5.bmp\" 0\n");
    EXPECT_EQ(hex(bitmap_section(result.module)),
              hex(expected_section(kSections, {{0x44, 0x55, 0x66}}, {{1, 1, 1, {1, 0, 0, 0}}})));
}

TEST(Bitmaps, PixelOffsetFieldIsHonouredWhenItPointsPastTheColourTable) {
    // Pixels 0 (transparent) then 1 (the colour 0x44 0x55 0x66), behind a
    // 4-byte gap of a colour index no table holds.
    constexpr std::size_t kPixelOffsetField = 10;
    constexpr std::size_t kGap = 4;
    BmpContents bmp = small_bitmap();
    bmp.colours_used = 2;
    bmp.colours = {{0x11, 0x22, 0x33}, {0x44, 0x55, 0x66}};
    bmp.pixels = {1, 1, 1, 1};
    const Bytes plain = make_bmp(bmp);
    const std::size_t pixels_at = plain.size() - bmp.pixels.size();
    Bytes gapped = plain;
    gapped.insert(gapped.begin() + static_cast<std::ptrdiff_t>(pixels_at), kGap, 9);
    const auto with_offset = [&](std::uint32_t offset) { return patched_dword(gapped, kPixelOffsetField, offset); };
    const Bytes rows{1, 1, 1, 1};  // the stated rows, translated
    const Bytes gap_as_rows{0, 0, 0, 0};  // the gap read as rows: index 9 is past the table
    const struct {
        const char* what;
        Bytes file;
        Bytes pixels;
    } cases[] = {
        {"gap stated", with_offset(static_cast<std::uint32_t>(pixels_at + kGap)), rows},
        {"offset unset", with_offset(0), gap_as_rows},
        {"offset inside the colour table", with_offset(static_cast<std::uint32_t>(pixels_at - 1)), gap_as_rows},
        {"rows would not fit", with_offset(static_cast<std::uint32_t>(gapped.size() - 1)), gap_as_rows},
    };
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "gap.bmp", c.file);
        const Compiled result = compile_ok(dir, "#bitmap 1 \"gap.bmp\" 0\n");
        EXPECT_EQ(hex(bitmap_section(result.module)),
                  hex(expected_section(kSections, {{0x44, 0x55, 0x66}}, {{1, 1, 1, c.pixels}})))
            << c.what;
    }
}

TEST(Bitmaps, FileSizeFieldIsNotTrusted) {
    TempDir dir;
    BmpContents zero_field = small_bitmap();
    zero_field.file_size_field = 0;
    zero_field.pixels = {0, 7, 7, 7};  // 7 lies past the table: written as 0
    write_bmp(dir / "zero.bmp", zero_field);
    BmpContents huge_field = small_bitmap();
    huge_field.file_size_field = 0xFFFFFFFF;
    write_bmp(dir / "huge.bmp", huge_field);
    const Compiled result = compile_ok(dir, "#bitmap 1 \"zero.bmp\" 5\n#bitmap 2 \"huge.bmp\" 5\n");
    const Bytes expected =
        expected_section(kSections, {{0x11, 0x22, 0x33}}, {{1, 1, 1, {1, 0, 0, 0}}, {2, 1, 1, {1, 1, 1, 1}}});
    EXPECT_EQ(hex(bitmap_section(result.module)), hex(expected));
}

TEST(Bitmaps, PaletteHolds255ColoursAndReportsThe256th) {
    TempDir dir;
    BmpContents full;
    for (int i = 0; i < 256; ++i)
        full.colours.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7});
    full.pixels = {255, 0, 0, 0};
    write_bmp(dir / "full.bmp", full);
    BmpContents one_more = small_bitmap();
    one_more.colours_used = 3;
    one_more.colours = {{1, 254, 7}, {0x55, 0x55, 0x55}, {0x66, 0x66, 0x66}};  // a shared one, then two new
    write_bmp(dir / "more.bmp", one_more);

    const Compiled fits = compile_ok(dir, "#bitmap 1 \"full.bmp\" 0\n");
    const Bytes section = bitmap_section(fits.module);
    EXPECT_EQ(word_at(section, 2), 256u);
    // Entry 255 holds colour 255 as red, green, blue, 0; its pixel keeps 255.
    EXPECT_EQ(Bytes(section.begin() + 4 + 4 * 255, section.begin() + 4 + 4 * 256), (Bytes{7, 0, 255, 0}));
    EXPECT_EQ(Bytes(section.end() - 4, section.end()), (Bytes{255, 0, 0, 0}));

    const Compiled over = compile_in(dir, "#bitmap 1 \"full.bmp\" 0\n#bitmap 2 \"more.bmp\" 0\n");
    EXPECT_EQ(over.out, failed_output(error_line(kProg, 2, msg::palette_full), 1));
    EXPECT_FALSE(over.module_exists);
}

TEST(Bitmaps, DuplicateNumberIsReportedForTheSecondDirective) {
    TempDir dir;
    write_bmp(dir / "a.bmp", small_bitmap());
    const Compiled result = compile_in(dir, "#bitmap 4 \"a.bmp\" 0\n#bitmap 5 \"a.bmp\" 0\n#bitmap 4 \"a.bmp\" 0\n");
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 3, msg::bitmap_number_twice), 1));
    EXPECT_FALSE(result.module_exists);
}

TEST(Bitmaps, TransparentIndexOutOfRangeIsReportedButTheBitmapIsTaken) {
    TempDir dir;
    write_bmp(dir / "a.bmp", small_bitmap());
    // The second directive's duplicate number shows that the first was taken.
    const Compiled result = compile_in(dir, "#bitmap 1 \"a.bmp\" 300\n#bitmap 1 \"a.bmp\" -1\n");
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 1, msg::transparent_out_of_range) +
                                            error_line(kProg, 2, msg::bitmap_number_twice) +
                                            error_line(kProg, 2, msg::transparent_out_of_range),
                                        3));
}

// How a refused file is reported. Each source names the refused file as
// bitmap 1 and then a good file under the same number: no duplicate is
// reported, so the refused bitmap was not added, and compilation went on.
struct Refusal {
    const char* what;
    Bytes file;
    const Message* message;
};

BmpContents with(void (*change)(BmpContents&)) {
    BmpContents bmp = small_bitmap();
    change(bmp);
    return bmp;
}

std::vector<Refusal> refusals() {
    const Bytes good = make_bmp(small_bitmap());
    Bytes text_file = {'i', 'n', 't', ' ', 'x', ';', '\n'};
    Bytes short_file(good.begin(), good.begin() + 13);
    Bytes cut_info_header(good.begin(), good.begin() + 14 + 30);
    const Bytes core = make_bmp(with([](BmpContents& s) { s.core_header = true; }));
    Bytes cut_core_header(core.begin(), core.begin() + 14 + 8);
    Bytes short_pixels = good;
    short_pixels.pop_back();
    return {
        {"a text file", text_file, &msg::bitmap_not_found},
        {"13 bytes", short_file, &msg::bitmap_not_found},
        {"information header cut short", cut_info_header, &msg::bitmap_not_found},
        {"core header cut short", cut_core_header, &msg::bitmap_not_found},
        {"16 colours", make_bmp(with([](BmpContents& s) { s.bit_count = 4; })), &msg::bitmap_not_256_colours},
        {"24 bits", make_bmp(with([](BmpContents& s) { s.bit_count = 24; })), &msg::bitmap_not_256_colours},
        {"core header, 24 bits",
         make_bmp(with([](BmpContents& s) {
             s.core_header = true;
             s.bit_count = 24;
         })),
         &msg::bitmap_not_256_colours},
        {"16 colours and no width",
         make_bmp(with([](BmpContents& s) {
             s.bit_count = 4;
             s.width = 0;
         })),
         &msg::bitmap_not_256_colours},
        {"width 0", make_bmp(with([](BmpContents& s) { s.width = 0; })), &msg::bitmap_malformed},
        {"width -3", make_bmp(with([](BmpContents& s) { s.width = -3; })), &msg::bitmap_malformed},
        {"height 0", make_bmp(with([](BmpContents& s) { s.height = 0; })), &msg::bitmap_malformed},
        {"top-down rows", make_bmp(with([](BmpContents& s) { s.height = -1; })), &msg::bitmap_malformed},
        {"core header, width 0",
         make_bmp(with([](BmpContents& s) {
             s.core_header = true;
             s.width = 0;
         })),
         &msg::bitmap_malformed},
        {"compressed rows", make_bmp(with([](BmpContents& s) { s.compression = 1; })), &msg::bitmap_malformed},
        // Long enough for 257 colours and the pixels: the count alone refuses it.
        {"257 colours used",
         make_bmp(with([](BmpContents& s) {
             s.colours_used = 257;
             s.pixels.resize(8);
         })),
         &msg::bitmap_malformed},
        {"4,000,000 colours used", make_bmp(with([](BmpContents& s) { s.colours_used = 4000000; })),
         &msg::bitmap_malformed},
        {"one pixel byte missing", short_pixels, &msg::bitmap_malformed},
        {"one pixel byte missing, size field promising more",
         patched_dword(short_pixels, 2, 0xFFFFFFFF), &msg::bitmap_malformed},
        {"header size past the file", patched_dword(good, 14, 0xFFFFFFF0), &msg::bitmap_malformed},
        {"stride times height past 32 bits",
         make_bmp(with([](BmpContents& s) {
             s.width = 0x10000;
             s.height = 0x8000;
         })),
         &msg::bitmap_malformed},
        {"core header, stride times height past 32 bits",
         make_bmp(with([](BmpContents& s) {
             s.core_header = true;
             s.width = 0xFFFF;
             s.height = 0xFFFF;
         })),
         &msg::bitmap_malformed},
    };
}

TEST(Bitmaps, RefusedFilesAreReportedByNameAndNotAdded) {
    for (const Refusal& r : refusals()) {
        TempDir dir;
        write_file(dir / "x.bmp", r.file);
        write_bmp(dir / "good.bmp", small_bitmap());
        const Compiled result = compile_in(dir, "#bitmap 1 \"x.bmp\" 0\n#bitmap 1 \"good.bmp\" 0\n");
        EXPECT_EQ(result.out, failed_output(error_line(kProg, 1, *r.message, ": x.bmp"), 1)) << r.what;
        EXPECT_FALSE(result.module_exists) << r.what;
    }
}

TEST(Bitmaps, MissingFilesAndDirectoriesAreNotFound) {
    TempDir dir;
    std::filesystem::create_directory(dir / "pics.bmp");
    const Compiled result = compile_in(dir, "#bitmap 1 \"none.bmp\" 0\n#bitmap 1 \"pics.bmp\" 0\n");
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 1, msg::bitmap_not_found, ": none.bmp") +
                                            error_line(kProg, 2, msg::bitmap_not_found, ": pics.bmp"),
                                        2));
}

TEST(Bitmaps, ChecksRunInOrderDuplicateFileThenTransparentIndex) {
    TempDir dir;
    write_bmp(dir / "good.bmp", small_bitmap());
    write_bmp(dir / "flat.bmp", with([](BmpContents& s) { s.height = 0; }));
    const Compiled result = compile_in(dir, "#bitmap 2 \"good.bmp\" 0\n#bitmap 2 \"flat.bmp\" 256\n");
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 2, msg::bitmap_number_twice) +
                                            error_line(kProg, 2, msg::bitmap_malformed, ": flat.bmp") +
                                            error_line(kProg, 2, msg::transparent_out_of_range),
                                        3));
}
