// Whole-file and whole-code comparisons for the worked examples of the
// format. Expected bytes are built field by field from the layout rules.
#include <gtest/gtest.h>

#include "format/bytecode.hpp"
#include "support/passes.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFF;  // a missing handler
constexpr std::uint32_t kEventEntries = 8;
constexpr std::size_t kTextFieldsSize = 34 + 34 + 18 + 66;

// Header, function table and event handler table for a module with the
// given user function descriptor offsets and section offsets.
struct HeaderFields {
    std::uint32_t bitmap_section, event_table, wave_section, menu_section;
    std::uint32_t load = kNone, unload = kNone, interval = kNone;
    std::uint32_t globals[3] = {0, 0, 0};
    std::vector<std::uint32_t> descriptors;
};

void write_header(ByteWriter& w, const HeaderFields& h) {
    w.text("OXB ").dword(128).zeros(kTextFieldsSize).dword(208);
    w.dword(h.bitmap_section).dword(h.event_table).dword(h.wave_section).dword(0).dword(h.menu_section);
    for (int i = 0; i < 6; ++i) w.dword(0);
    w.dword(h.load).dword(h.unload).dword(h.interval);
    w.dword(h.globals[0]).dword(h.globals[1]).dword(h.globals[2]);
    w.dword(static_cast<std::uint32_t>(h.descriptors.size()));
    for (const std::uint32_t d : h.descriptors) w.dword(d);
    w.dword(kEventEntries);
    for (std::uint32_t i = 0; i < kEventEntries; ++i) w.dword(kNone);
}

// Sections of a module without resources, starting at the bitmap section.
void write_empty_sections(ByteWriter& w, std::uint32_t menu_section) {
    w.word(0x300).word(1).zeros(1024).dword(0);        // bitmap section: 1032 bytes
    w.dword(0);                                        // wave section: 4 bytes
    w.dword(2).dword(menu_section + 12).dword(0).dword(0);  // menu section: 16 bytes
}

}  // namespace

TEST(WorkedExamples, EmptySourceGivesTheEmptyModule) {
    const Compiled result = compile_source("");
    ASSERT_EQ(result.out, created_output());
    ASSERT_EQ(result.status, 0);
    ByteWriter expected;
    // Code base 272: 208 header + 28 function table + 4 + 32 event table.
    write_header(expected, {.bitmap_section = 272, .event_table = 236, .wave_section = 1304, .menu_section = 1308, .descriptors = {}});
    ASSERT_EQ(expected.size(), 272u);
    write_empty_sections(expected, 1308);
    EXPECT_TRUE(same_module(result.module, expected.get()));
    EXPECT_EQ(result.module.size(), 1324u);
}

TEST(WorkedExamples, OverviewProgramIs1398Bytes) {
    const Compiled result = compile_source(
        "int count;\n"
        "OnLoad(int & result)\n"
        "{\n"
        "    count = 1;\n"
        "    result = 0;\n"
        "}\n");
    ASSERT_EQ(result.out, created_output());
    ByteWriter expected;
    write_header(expected, {.bitmap_section = 346,
                            .event_table = 240,
                            .wave_section = 1378,
                            .menu_section = 1382,
                            .load = 0,
                            .globals = {1, 0, 0},
                            .descriptors = {276}});
    ASSERT_EQ(expected.size(), 276u);
    // The OnLoad descriptor: entry at the code base 316, one int& local,
    // one parameter whose descriptor stands at 312.
    expected.dword(316).dword(0).dword(0).dword(0).dword(1).dword(0).dword(0);
    expected.dword(1).dword(312).word(0x181).word(0);
    ASSERT_EQ(expected.size(), 316u);
    // count = 1;  result = 0;  }
    expected.word(OP_ASSIGN).word(TYPE_INT).word(0).word(EXPR_CONST).dword(1).word(EXPR_END);
    expected.word(OP_ASSIGN).word(LOCAL_FLAG | TYPE_INT_REF).word(0).word(EXPR_CONST).dword(0).word(EXPR_END);
    expected.word(OP_RETURN);
    ASSERT_EQ(expected.size(), 346u);
    write_empty_sections(expected, 1382);
    EXPECT_TRUE(same_module(result.module, expected.get()));
    EXPECT_EQ(result.module.size(), 1398u);
}

TEST(WorkedExamples, WhileLoopIs52Bytes) {
    const Compiled result = compile_source("f(int a) { while (a > 0) { a = a - 1; } }\n");
    ASSERT_EQ(result.out, created_output());
    const std::uint32_t base = code_base(result.module);
    ASSERT_EQ(base, 316u);
    ByteWriter code;
    code.word(OP_JUMP_IF_FALSE);                                        // 0
    code.word(EXPR_VAR).word(0x101).word(0).word(OP_GT).word(EXPR_CONST).dword(0).word(EXPR_END);
    code.dword(base + 50);                                              // 18: past the loop
    code.word(OP_ASSIGN).word(0x101).word(0);                           // 22
    code.word(EXPR_VAR).word(0x101).word(0).word(OP_SUB).word(EXPR_CONST).dword(1).word(EXPR_END);
    code.word(OP_JUMP).dword(base + 0);                                 // 44: back to the condition
    code.word(OP_RETURN);                                               // 50
    EXPECT_EQ(hex(code_area(result.module)), hex(code.get()));
    EXPECT_EQ(code.size(), 52u);
}
