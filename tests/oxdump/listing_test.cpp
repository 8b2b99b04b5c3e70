// Listings of small modules compared with listings written by hand from the
// format's rules: every offset, slot and label below was worked out from
// the layout, not copied from a run.
#include <gtest/gtest.h>

#include <filesystem>

#include "dump_support.hpp"

using namespace oxdumptest;
using oxtest::compile_in;
using oxtest::compile_source;
using oxtest::Compiled;
using oxtest::TempDir;

namespace {

Dump compile_and_dump(std::string_view source) {
    const Compiled c = compile_source(source);
    EXPECT_EQ(c.out, oxtest::created_output());
    return dump_bytes(c.module);
}

}  // namespace

// The Overview's prog.oxs: header 208 bytes, OnLoad's descriptor at 276,
// code base 316, 30 code bytes, empty sections.
TEST(OxdumpListing, OverviewProgramInFull) {
    const Dump d = compile_and_dump(
        "int count;\n"
        "OnLoad(int & result)\n"
        "{\n"
        "    count = 1;\n"
        "    result = 0;\n"
        "}\n");
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.err, "");
    EXPECT_EQ(d.out, R"(module prog.oxb: 1398 bytes

header
  magic                 "OXB "
  format                128
  module name           ""
  copyright             ""
  version               ""
  comment               ""
  function table        208
  event handler table   240
  bitmap section        346
  wave section          1378
  menu section          1382
  code base             316

function table
  OnLoad                -> function 0
  OnUnload              -> none
  OnInterval            -> none
  globals               int 1, uint 0, str 0
  functions             1

event handler table: 8 entries
  1 (blank)             -> none
  2 OnClick             -> none
  3 OnDblClick          -> none
  4 OnTargetChanging    -> none
  5 OnTargetChanged     -> none
  6 OnTargetMoving      -> none
  7 OnTargetMoved       -> none
  8 OnMenuItemSelected  -> none

function 0 (OnLoad)
  descriptor            276
  entry                 0 @316
  locals                int 0, uint 0, str 0, int& 1, uint& 0, str& 0
  parameter 0           int& slot 0

code: 30 bytes at 316

function 0 (OnLoad)
     0  @316     assign g.int[0] = 1
    14  @330     assign l.int&[0] = 0
    28  @344     return

bitmap section: 1032 bytes at 346
  palette               1 of 256 entries in use
      0  #000000
  bitmaps               0

wave section: 4 bytes at 1378
  waves                 0

menu section: 16 bytes at 1382
  menus                 0
)");
}

// The while loop: the condition jumps past the loop's closing jump, which
// goes back to the condition.
TEST(OxdumpListing, WhileLoopWithLabels) {
    const Dump d = compile_and_dump("f(int a) { while (a > 0) { a = a - 1; } }\n");
    EXPECT_EQ(block(d.out, "function 0", "code:"), R"(function 0
  descriptor            276
  entry                 0 @316
  locals                int 1, uint 0, str 0, int& 0, uint& 0, str& 0
  parameter 0           int slot 0

)");
    EXPECT_EQ(block(d.out, "code:", "bitmap section:"), R"(code: 52 bytes at 316

function 0
L0:
     0  @316     jump_if_false l.int[0] > 0, L1 (50 @366)
    22  @338     assign l.int[0] = l.int[0] - 1
    44  @360     jump L0 (0 @316)
L1:
    50  @366     return

)");
}

// if / elseif / else: each false condition lands past the next chain jump;
// each chain jump goes to the end of the next body.
TEST(OxdumpListing, IfElseifElseChain) {
    const Dump d = compile_and_dump("f(int a) { if (a) { a = 1; } elseif (a == 2) { a = 2; } else { a = 3; } }\n");
    EXPECT_EQ(block(d.out, "code:", "bitmap section:"), R"(code: 92 bytes at 316

function 0
     0  @316     jump_if_false l.int[0], L0 (34 @350)
    14  @330     assign l.int[0] = 1
    28  @344     jump L1 (70 @386)
L0:
    34  @350     jump_if_false l.int[0] == 2, L2 (76 @392)
    56  @372     assign l.int[0] = 2
L1:
    70  @386     jump L3 (90 @406)
L2:
    76  @392     assign l.int[0] = 3
L3:
    90  @406     return

)");
}

// Every operator in its source form, constants on both sides of 65535,
// arguments decoded by the callee's parameter types (user and standard),
// an unnamed parameter, and string literals of odd and even lengths with
// escapes, a code page 932 character and bytes that form none.
TEST(OxdumpListing, ExpressionsCallsAndStringLiterals) {
    const Dump d = compile_and_dump(
        "int g;\n"
        "uint u;\n"
        "str s;\n"
        "h(str text, str & out, int, int & n, uint v)\n"
        "{\n"
        "}\n"
        "OnLoad(int & result)\n"
        "{\n"
        "    int a;\n"
        "    a = -(g + 0x10) * ~u / 3 % 2 << 1 >> 2;\n"
        "    a = -#-a + #+g;\n"
        "    result = !a && (g < 1 || g > 2) | u ^ 7 & 8;\n"
        "    a = a <= 65535 == (a >= 65536) != a - 0xFFFF0000;\n"
        "    h(\"\", s, 1, a, 2);\n"
        "    h(\"q\\\"\\\\\\t\", s, a == 1, result, u);\n"
        "    MessageBox(\"\x82\xA0\", 0, a);\n"
        "    strcpy(s, \"x\\x80\\x82\");\n"
        "}\n");
    EXPECT_EQ(block(d.out, "function 0", "code:"), R"(function 0
  descriptor            280
  entry                 0 @392
  locals                int 0, uint 1, str 1, int& 1, uint& 0, str& 1
  parameter 0           str slot 0
  parameter 1           str& slot 0
  parameter 2           int unnamed
  parameter 3           int& slot 0
  parameter 4           uint slot 0

function 1 (OnLoad)
  descriptor            352
  entry                 2 @394
  locals                int 1, uint 0, str 0, int& 1, uint& 0, str& 0
  parameter 0           int& slot 0

)");
    EXPECT_EQ(block(d.out, "code:", "bitmap section:"), R"(code: 356 bytes at 392

function 0
     0  @392     return

function 1 (OnLoad)
     2  @394     assign l.int[0] = -(g.int[0] + 16) * ~g.uint[0] / 3 % 2 << 1 >> 2
    72  @464     assign l.int[0] = -#-l.int[0] + #+g.int[0]
   100  @492     assign l.int&[0] = !l.int[0] && (g.int[0] < 1 || g.int[0] > 2) | g.uint[0] ^ 7 & 8
   176  @568     assign l.int[0] = l.int[0] <= 65535 == (l.int[0] >= 0x10000) != l.int[0] - 0xFFFF0000
   234  @626     call function 0("", &g.str[0], 1, &l.int[0], 2)
   268  @660     call function 0("q\"\\\t", &g.str[0], l.int[0] == 1, &l.int&[0], g.uint[0])
   314  @706     call MessageBox("あ", 0, &l.int[0])
   338  @730     call strcpy(&g.str[0], "x\x80\x82")
   354  @746     return

)");
}

// A return at the top level stands before every function; it is listed
// as code outside any function, and so is a module with no function.
TEST(OxdumpListing, CodeOutsideAnyFunction) {
    const Dump before = compile_and_dump("return;\nf() { }\n");
    EXPECT_EQ(block(before.out, "code:", "bitmap section:"), R"(code: 4 bytes at 308

outside any function
     0  @308     return

function 0
     2  @310     return

)");
    const Dump alone = compile_and_dump("return;\n");
    EXPECT_EQ(block(alone.out, "code:", "bitmap section:"), R"(code: 2 bytes at 272

outside any function
     0  @272     return

)");
}

// The directive example: text fields with escapes and code page 932 text,
// two bitmaps sharing one palette, two waves (one too short for a form
// type), and a menu tree with a nested and an empty pop-up.
TEST(OxdumpListing, DirectivesAndResources) {
    TempDir dir;
    const Compiled c = compile_resource_example(dir);
    ASSERT_EQ(c.out, oxtest::created_output());
    const Dump d = dump_bytes(c.module);
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(block(d.out, "module", "function table"), R"(module prog.oxb: 3724 bytes

header
  magic                 "OXB "
  format                128
  module name           "あ clock"
  copyright             "(c) \"us\""
  version               "1.0\t"
  comment               "ｱ\x80!"
  function table        208
  event handler table   240
  bitmap section        340
  wave section          3532
  menu section          3618
  code base             324

)");
    EXPECT_EQ(block(d.out, "  8 OnMenuItemSelected", "bitmap section:"), R"(  8 OnMenuItemSelected  -> function 0

function 0 (OnMenuItemSelected)
  descriptor            276
  entry                 0 @324
  locals                int 2, uint 0, str 0, int& 0, uint& 0, str& 0
  parameter 0           int slot 0
  parameter 1           int slot 1

code: 16 bytes at 324

function 0 (OnMenuItemSelected)
     0  @324     call PlayWave(3)
    14  @338     return

)");
    EXPECT_EQ(block(d.out, "bitmap section:", ""), R"(bitmap section: 3192 bytes at 340
  palette               6 of 256 entries in use
      0  #000000
      1  #FF0000
      2  #00FF00
      3  #FFFFFF
      4  #123456
      5  #000000
  bitmaps               2
  bitmap 7              width 3, height 2, stride 4, data at 1388
  bitmap -1             width 5, height 1, stride 8, data at 2460

wave section: 86 bytes at 3532
  waves                 2
  wave 3                size 48, form "WAVE", data at 3560
  wave 4                size 10, form none, data at 3608

menu section: 106 bytes at 3618
  menus                 2
  menu 1                78 bytes at 3642
    popup "File"
      item "Open", id 1, value 0
      popup "Recent"
        item "a", id 4, value 100
    item "About", id 3, value -7
    item "Empty", id 0, value 0
  menu 2                4 bytes at 3720
)");
}

// The bundled examples compile and list without a message.
TEST(OxdumpListing, BundledExampleLists) {
    const auto examples = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "examples";
    const Bytes source = oxtest::read_file((examples / "clock.oxs").string());
    ASSERT_FALSE(source.empty());
    const Dump d = compile_and_dump(std::string(source.begin(), source.end()));
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.err, "");
    EXPECT_NE(d.out.find("call GetTime(&l.int[0], &l.int[1], &l.int[2], &l.int[3], &l.int[4], &l.int[5], &l.int[6])"),
              std::string::npos);
}

// Pop-ups nest without limit; past 32 levels the indentation stops growing
// and the level is written out instead, so the listing stays linear in size.
TEST(OxdumpListing, DeepMenusKeepTheirIndentationBounded) {
    std::string source = "#menu 5 {\n";
    for (int level = 0; level < 34; ++level) source += "POPUP \"p\" {\n";
    source += "MENUITEM \"i\", 1, 2\n";
    for (int level = 0; level < 34; ++level) source += "}\n";
    source += "}\n";
    const Dump d = compile_and_dump(source);
    const std::string deepest_indent(4 + 2 * 32, ' ');
    EXPECT_NE(d.out.find("\n" + deepest_indent + "popup \"p\"\n" + deepest_indent + "[level 33] popup \"p\"\n" +
                         deepest_indent + "[level 34] item \"i\", id 1, value 2\n"),
              std::string::npos)
        << d.out;
}
