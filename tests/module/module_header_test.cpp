// The module header, function table, event handler table and function
// descriptors, checked byte for byte against the layout rules.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <sstream>

#include "driver/compiler.hpp"
#include "core/fatal.hpp"
#include "module/module_writer.hpp"
#include "support/code_builder.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

constexpr std::size_t kTextFieldsSize = 34 + 34 + 18 + 66;

struct Descriptor {
    std::uint32_t entry;
    std::array<std::uint32_t, 6> local_counts;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> parameters;  // type word, slot word
};

// A descriptor at offset r: its parameter pointers lead past themselves.
void write_descriptor(ByteWriter& w, std::uint32_t r, const Descriptor& d) {
    w.dword(d.entry);
    for (const std::uint32_t count : d.local_counts) w.dword(count);
    const auto n = static_cast<std::uint32_t>(d.parameters.size());
    w.dword(n);
    for (std::uint32_t k = 0; k < n; ++k) w.dword(r + 32 + 4 * n + 4 * k);
    for (const auto& [type_word, slot_word] : d.parameters) w.word(type_word).word(slot_word);
}

}  // namespace

// Six functions, four of them event handlers, one event only declared.
//   header 208, function table 28 + 24 = 236..259, event table 260..295,
//   descriptors 296 (32), 328 (32), 360 (40), 400 (48), 448 (56), 504 (32),
//   code base 536, six OP_RETURNs, bitmap section 548, wave 1580, menu 1584.
TEST(ModuleHeader, HandlersDescriptorsAndOffsetsOfSeveralFunctions) {
    const Bytes module = compile_ok(
        "int i1, i2;\n"
        "str s1;\n"
        "helper() { }\n"
        "OnInterval() { }\n"
        "OnLoad(int &r) { }\n"
        "OnUnload();\n"
        "OnMenuItemSelected(int, int b) { }\n"
        "OnClick(int x, int y, int k) { }\n"
        "OnTargetMoved() { }\n");
    ByteWriter expected;
    expected.text("OXB ").dword(128).zeros(kTextFieldsSize);
    expected.dword(208);                                            // function table
    expected.dword(548).dword(260).dword(1580).dword(0).dword(1584);  // bitmap, events, wave, reserved, menu
    expected.zeros(24);
    expected.dword(2).dword(kNoHandler).dword(1);                   // OnLoad, OnUnload, OnInterval
    expected.dword(2).dword(0).dword(1);                            // global counts
    expected.dword(6);                                              // F
    for (const std::uint32_t r : {296, 328, 360, 400, 448, 504}) expected.dword(r);
    ASSERT_EQ(expected.size(), 260u);
    expected.dword(8);                                              // E
    expected.dword(kNoHandler);                                     // the blank row
    expected.dword(4);                                              // OnClick
    expected.dword(kNoHandler).dword(kNoHandler).dword(kNoHandler).dword(kNoHandler);
    expected.dword(5);                                              // OnTargetMoved
    expected.dword(3);                                              // OnMenuItemSelected
    ASSERT_EQ(expected.size(), 296u);
    write_descriptor(expected, 296, {536, {0, 0, 0, 0, 0, 0}, {}});
    write_descriptor(expected, 328, {538, {0, 0, 0, 0, 0, 0}, {}});
    write_descriptor(expected, 360, {540, {0, 0, 0, 1, 0, 0}, {{0x181, 0}}});
    write_descriptor(expected, 400, {542, {1, 0, 0, 0, 0, 0}, {{0x101, 0xFFFF}, {0x101, 0}}});
    write_descriptor(expected, 448, {544, {3, 0, 0, 0, 0, 0}, {{0x101, 0}, {0x101, 1}, {0x101, 2}}});
    write_descriptor(expected, 504, {546, {0, 0, 0, 0, 0, 0}, {}});
    ASSERT_EQ(expected.size(), 536u);
    for (int i = 0; i < 6; ++i) expected.word(OP_RETURN);
    expected.word(0x300).word(1).zeros(1024).dword(0);              // bitmap section
    expected.dword(0);                                              // wave section
    expected.dword(2).dword(1584 + 12).dword(0).dword(0);           // menu section
    EXPECT_TRUE(same_module(module, expected.get()));
}

TEST(ModuleHeader, ADeclaredButUndefinedFunctionHasNoDescriptor) {
    const Bytes module = compile_ok("f(int a);\nOnLoad(int &r);\ng() { }\n");
    EXPECT_EQ(dword_at(module, format::kFunctionCountField), 1u);
    EXPECT_EQ(dword_at(module, format::kLoadHandlerField), kNoHandler);
    EXPECT_EQ(code_base(module), 276u + 32u);
}

TEST(ModuleHeader, TextFieldsAreZeroFilledToTheirWidths) {
    const std::string name(32, 'm');
    const std::string comment(64, 'c');
    const Bytes module = compile_ok("#module \"" + name + "\"\n#version \"1.0\"\n#comment \"" + comment + "\"\n");
    ByteWriter fields;
    fields.text(name).zeros(2);     // module name, 34 bytes
    fields.zeros(34);               // copyright, unset
    fields.text("1.0").zeros(15);   // version, 18 bytes
    fields.text(comment).zeros(2);  // comment, 66 bytes
    ASSERT_EQ(fields.size(), kTextFieldsSize);
    EXPECT_EQ(hex(Bytes(module.begin() + 8, module.begin() + 160)), hex(fields.get()));
}

// Every offset is stored in 32 signed bits and points inside the module, so
// the module may hold at most 2^31 - 1 bytes; the header writer refuses a
// larger one before any section is written. The code fills each module up to
// that size; the other section sizes follow from the layout rules.
TEST(ModuleHeader, OffsetsThatDoNotFitIn32SignedBitsEndInTheFatalStop) {
    constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kBeforeCode = 272;
    constexpr std::int64_t kWaveEntry = 12;
    constexpr std::int64_t kBigWave = kLargest - 2000;
    struct Case {
        const char* what;
        std::vector<BitmapRecord> bitmaps;
        std::vector<std::int64_t> waves;  // file sizes
        std::vector<Menu> menus;
        std::int64_t sections;  // bitmap, wave and menu sections together
    };
    const Case cases[] = {
        {"no resources", {}, {}, {}, kEmptyBitmapSection + kEmptyWaveSection + kEmptyMenuSection},
        // Only the empty menu section's offsets lie past the waves.
        {"a wave and no menus", {}, {kBigWave}, {},
         kEmptyBitmapSection + kEmptyWaveSection + kWaveEntry + kBigWave + kEmptyMenuSection},
        // 10 x 3 pixels in rows of 12; menus of 4 and 18 bytes, with their offsets.
        {"bitmaps, waves and menus", {{1, "b.bmp", 0, 10, 3, BitmapHeaderKind::info}}, {1 << 30, 1 << 29},
         {{1, {}}, {2, {{MenuEntry::Kind::item, "Open", 1, 2}}}},
         kEmptyBitmapSection + 1072 + 36 + kEmptyWaveSection + 2 * kWaveEntry + (1 << 30) + (1 << 29) +
             kEmptyMenuSection + 2 * 4 + 4 + 18},
    };
    for (const Case& k : cases) {
        for (const std::int64_t over : {0, 1}) {
            std::ostringstream out;
            Compiler c(out);
            c.begin_pass(1);
            c.p().bitmaps = k.bitmaps;
            for (const std::int64_t size : k.waves) c.p().waves.push_back({1, "w.wav", size});
            c.p().menus = k.menus;
            compute_section_totals(c);
            c.begin_pass(2);
            c.run.code_size = kLargest - kBeforeCode - k.sections + over;
            if (over == 0) {
                EXPECT_NO_THROW(write_module_header(c)) << k.what;
                EXPECT_EQ(c.run.layout.module_size, kLargest) << k.what;
            } else {
                EXPECT_THROW(write_module_header(c), FatalStop) << k.what;
            }
        }
    }
}
