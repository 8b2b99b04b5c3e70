// Truncated, corrupted and random files: each gets one line naming what is
// wrong and at which offset, status 1, and no listing; never a crash or a
// read out of bounds (the suite also runs under the sanitizers).
#include <gtest/gtest.h>

#include <random>

#include "dump_support.hpp"

using namespace oxdumptest;
using oxtest::Compiled;
using oxtest::TempDir;

namespace {

const Bytes& overview_module() {
    static const Bytes module = oxtest::compile_source(
                                    "int count;\n"
                                    "OnLoad(int & result)\n"
                                    "{\n"
                                    "    count = 1;\n"
                                    "    result = 0;\n"
                                    "}\n")
                                    .module;
    return module;
}

const Bytes& resource_module() {
    static const Bytes module = [] {
        TempDir dir;
        return compile_resource_example(dir).module;
    }();
    return module;
}

Bytes compiled(std::string_view source) { return oxtest::compile_source(source).module; }

// One line, "oxdump: prog.oxb: offset N: ...", and nothing listed.
void expect_refused(const Dump& d, const std::string& context) {
    EXPECT_EQ(d.status, 1) << context;
    EXPECT_EQ(d.out, "") << context;
    EXPECT_TRUE(d.err.starts_with("oxdump: prog.oxb: offset ")) << context << ": " << d.err;
    EXPECT_EQ(std::count(d.err.begin(), d.err.end(), '\n'), 1) << context << ": " << d.err;
    EXPECT_TRUE(d.err.ends_with("\n")) << context;
}

std::string refusal(const Bytes& module) {
    const Dump d = dump_bytes(module);
    expect_refused(d, "refusal");
    return d.err;
}

Bytes prefix(const Bytes& module, std::size_t size) {
    return Bytes(module.begin(), module.begin() + static_cast<std::ptrdiff_t>(size));
}

}  // namespace

TEST(OxdumpRobustness, EveryPrefixOfARealModuleIsRefused) {
    const Bytes& module = resource_module();
    ASSERT_EQ(module.size(), 3724u);
    ASSERT_EQ(dump_bytes(module).status, 0);
    for (std::size_t size = 0; size < module.size(); ++size)
        expect_refused(dump_bytes(prefix(module, size)), "prefix of " + std::to_string(size));
}

TEST(OxdumpRobustness, TruncationsSayWhatIsMissing) {
    const Bytes& module = overview_module();
    EXPECT_EQ(refusal({}), "oxdump: prog.oxb: offset 0: not a module: it does not begin with the magic \"OXB \"\n");
    EXPECT_EQ(refusal(prefix(module, 6)),
              "oxdump: prog.oxb: offset 4: format number needs 4 bytes, but the file ends at 6\n");
    EXPECT_EQ(refusal(prefix(module, 100)),
              "oxdump: prog.oxb: offset 94: comment needs 66 bytes, but the file ends at 100\n");
    EXPECT_EQ(refusal(prefix(module, 300)),
              "oxdump: prog.oxb: offset 300: local count needs 4 bytes, but the file ends at 300\n");
    EXPECT_EQ(refusal(prefix(module, 340)),
              "oxdump: prog.oxb: offset 164: bitmap section offset 346 lies past the end of the file (340 bytes)\n");
    EXPECT_EQ(refusal(prefix(module, 1394)),
              "oxdump: prog.oxb: offset 1394: menu count needs 4 bytes, but the file ends at 1394\n");
}

TEST(OxdumpRobustness, NotAModule) {
    EXPECT_EQ(refusal(Bytes{'O', 'X', 'B'}),
              "oxdump: prog.oxb: offset 0: not a module: it does not begin with the magic \"OXB \"\n");
    EXPECT_EQ(refusal(Bytes(2000, 'x')),
              "oxdump: prog.oxb: offset 0: not a module: it does not begin with the magic \"OXB \"\n");
    EXPECT_EQ(refusal(patched_dword(overview_module(), 4, 129)),
              "oxdump: prog.oxb: offset 4: format number 129 is not 128\n");
}

// Fields of the Overview module (1398 bytes): F at 232, descriptor offset
// at 236, event table at 240, the descriptor at 276 (parameter count at
// 304, pointer at 308, type and slot words at 312 and 314), code at 316 to
// 346 (count = 1 at 316, result = 0 at 330, return at 344), sections at
// 346, 1378 and 1382.
TEST(OxdumpRobustness, HeaderAndTablesOutOfRange) {
    const Bytes& m = overview_module();
    const std::string p = "oxdump: prog.oxb: ";
    EXPECT_EQ(refusal(patched_dword(m, 160, 212)), p + "offset 160: function table offset 212 is not 208\n");
    EXPECT_EQ(
        refusal(patched_dword(m, 232, 0xFFFFFFFF)),
        p + "offset 236: descriptor offsets: 4294967295 of 4 bytes each do not fit before the file ends at 1398\n");
    EXPECT_EQ(refusal(patched_dword(m, 232, 2)), p + "offset 168: event handler table offset 240 is not 244\n");
    EXPECT_EQ(refusal(patched_dword(m, 168, 5000)), p + "offset 168: event handler table offset 5000 is not 240\n");
    EXPECT_EQ(refusal(patched_dword(m, 240, 9)), p + "offset 240: event handler table has 9 entries, not 8\n");
    EXPECT_EQ(refusal(patched_dword(m, 248, 1)),
              p + "offset 248: handler of OnClick is function 1, but the module has 1 function\n");
    EXPECT_EQ(refusal(patched_dword(m, 212, 0x80000000)),
              p + "offset 212: handler of OnUnload is function -2147483648, but the module has 1 function\n");
    EXPECT_EQ(refusal(patched_dword(m, 236, 280)), p + "offset 236: descriptor offset 280 is not 276\n");
    EXPECT_EQ(refusal(patched_dword(m, 304, 0x20000000)),
              p + "offset 308: parameters: 536870912 of 8 bytes each do not fit before the file ends at 1398\n");
    EXPECT_EQ(refusal(patched_dword(m, 308, 400)), p + "offset 308: parameter pointer 400 is not 312\n");
    EXPECT_EQ(refusal(patched_word(m, 312, 0x81)),
              p + "offset 312: parameter type word 0x0081 is not a parameter type\n");
    EXPECT_EQ(refusal(patched_word(m, 314, 1)),
              p + "offset 314: parameter slot 1 lies past the function's 1 int& local\n");
    EXPECT_EQ(refusal(patched_dword(m, 164, 300)),
              p + "offset 164: bitmap section offset 300 lies before the code base at 316\n");
    EXPECT_EQ(refusal(patched_dword(m, 164, 2000)),
              p + "offset 164: bitmap section offset 2000 lies past the end of the file (1398 bytes)\n");
    EXPECT_EQ(refusal(patched_dword(m, 172, 340)),
              p + "offset 172: wave section offset 340 lies before the bitmap section at 346\n");
    EXPECT_EQ(refusal(patched_dword(m, 180, 0xFFFFFFFF)),
              p + "offset 180: menu section offset 4294967295 lies past the end of the file (1398 bytes)\n");
    EXPECT_EQ(refusal(patched_dword(m, 276, 100)),
              p + "offset 276: entry 100 of function 0 lies outside the code area (316 to 346)\n");
    EXPECT_EQ(refusal(patched_dword(m, 276, 318)),
              p + "offset 276: entry 2 of function 0 is not the start of an instruction\n");
    Bytes unterminated = m;
    std::fill(unterminated.begin() + 42, unterminated.begin() + 76, 'c');
    EXPECT_EQ(refusal(unterminated), p + "offset 42: copyright field has no terminating zero\n");
}

TEST(OxdumpRobustness, CorruptedCode) {
    const Bytes& m = overview_module();
    const std::string p = "oxdump: prog.oxb: ";
    EXPECT_EQ(refusal(patched_word(m, 344, 0x22)), p + "offset 344: unknown opcode 0x0022\n");
    EXPECT_EQ(refusal(patched_word(m, 318, 4)), p + "offset 318: variable type word 0x0004 is not a variable type\n");
    EXPECT_EQ(refusal(patched_word(m, 318, 0x81)),
              p + "offset 318: variable type word 0x0081 is not a variable type\n");
    EXPECT_EQ(refusal(patched_word(m, 320, 1)),
              p + "offset 320: global int slot 1 lies past the module's 1 int global\n");
    EXPECT_EQ(refusal(patched_word(m, 334, 1)),
              p + "offset 334: local int& slot 1 lies past the function's 1 int& local\n");
    EXPECT_EQ(refusal(patched_word(m, 322, 0x40)),
              p + "offset 322: expression token 0x0040 stands where an operand is expected\n");
    EXPECT_EQ(refusal(patched_word(m, 328, 0x11)), p + "offset 328: expression closes a '(' that was not opened\n");
    EXPECT_EQ(refusal(patched_word(m, 328, 0x32)),
              p + "offset 328: expression token 0x0032 stands where an operator is expected\n");
    // count = 1 with its EXPR_END replaced by a binary operator: the
    // operand that follows is the next instruction's opcode, 0 = EXPR_END.
    EXPECT_EQ(refusal(patched_word(m, 328, 0x50)), p + "offset 330: expression ends where an operand is expected\n");
    // The code area cut short by one byte: the return has no room.
    Bytes short_code = patched_dword(patched_dword(patched_dword(m, 164, 345), 172, 1377), 180, 1381);
    short_code.erase(short_code.begin() + 345);
    EXPECT_EQ(refusal(short_code), p + "offset 344: opcode needs 2 bytes, but the code area ends at 345\n");

    // f(int a) { while (a > 0) { a = a - 1; } }: the loop's exit address at 334.
    const Bytes loop = compiled("f(int a) { while (a > 0) { a = a - 1; } }\n");
    EXPECT_EQ(refusal(patched_dword(loop, 334, 367)),
              p + "offset 334: jump target 51 is not the start of an instruction\n");
    EXPECT_EQ(refusal(patched_dword(loop, 334, 368)),
              p + "offset 334: jump target 368 lies outside the code area (316 to 368)\n");
    EXPECT_EQ(refusal(patched_dword(loop, 334, 0)),
              p + "offset 334: jump target 0 lies outside the code area (316 to 368)\n");

    // int i; str s; f() { strcpy(s, "ab"); }: call at 308 (kind 310,
    // number 312), s at 314, EXPR_STRING at 318, "ab", zero, pad at 323.
    const Bytes call = compiled("int i;\nstr s;\nf() { strcpy(s, \"ab\"); }\n");
    EXPECT_EQ(refusal(patched_word(call, 312, 23)), p + "offset 312: call of unknown standard function 23\n");
    EXPECT_EQ(refusal(patched_word(call, 310, 0)),
              p + "offset 312: call of function 128, but the module has 1 function\n");
    EXPECT_EQ(refusal(patched_word(call, 310, 5)),
              p + "offset 310: call kind 5 is neither 0 (user) nor 1 (standard)\n");
    EXPECT_EQ(refusal(patched_word(call, 314, 1)),
              p + "offset 314: a str& parameter is given a variable of another type\n");
    EXPECT_EQ(refusal(patched_word(call, 318, 5)),
              p + "offset 318: str argument begins with 0x0005, not a string or a variable\n");
    // strcpy(s, s): the second argument is EXPR_VAR at 318 and s at 320.
    const Bytes copy = compiled("int i;\nstr s;\nf() { strcpy(s, s); }\n");
    EXPECT_EQ(refusal(patched_word(copy, 320, 1)),
              p + "offset 320: a str parameter is given a variable that is not a str\n");
    // A literal of 255 bytes (320 to 574) whose terminating zero at 575 is
    // overwritten runs on into the return that follows.
    Bytes endless = compiled("str s;\nf() { strcpy(s, \"" + std::string(255, 'x') + "\"); }\n");
    endless[575] = 'y';
    EXPECT_EQ(refusal(endless), p + "offset 320: string literal of 257 bytes is longer than 255\n");
    Bytes padding = call;
    padding[323] = 'x';
    EXPECT_EQ(refusal(padding), p + "offset 323: string padding byte is not zero\n");
}

// Fields of the directive example (3724 bytes): bitmap section at 340
// (palette count at 342, directory at 1372: bitmap 7's data offset at 1376,
// its data at 1388), wave section at 3532 (wave 3's offset at 3540, size at
// 3544, data at 3560), menu section at 3618 (menu offsets at 3634, menu 1
// at 3642).
TEST(OxdumpRobustness, CorruptedSections) {
    const Bytes& m = resource_module();
    const std::string p = "oxdump: prog.oxb: ";
    EXPECT_EQ(refusal(patched_word(m, 340, 0x200)), p + "offset 340: palette version 0x0200 is not 0x0300\n");
    EXPECT_EQ(refusal(patched_word(m, 342, 0)), p + "offset 342: palette entry count 0 lies outside 1 to 256\n");
    EXPECT_EQ(refusal(patched_word(m, 342, 257)), p + "offset 342: palette entry count 257 lies outside 1 to 256\n");
    EXPECT_EQ(refusal(patched_dword(m, 1368, 0x10000000)),
              p + "offset 1372: bitmap directory entries: 268435456 of 8 bytes each do not fit before the bitmap "
                  "section ends at 3532\n");
    EXPECT_EQ(refusal(patched_dword(m, 1376, 5000)), p + "offset 1376: bitmap data offset 5000 is not 1388\n");
    EXPECT_EQ(refusal(patched_dword(m, 1384, 1388)), p + "offset 1384: bitmap data offset 1388 is not 2460\n");
    EXPECT_EQ(refusal(patched_dword(m, 1388, 12)), p + "offset 1388: bitmap 7: information header size is not 40\n");
    EXPECT_EQ(refusal(patched_dword(m, 1396, 0)), p + "offset 1392: bitmap 7: size 3 x 0 is not positive\n");
    EXPECT_EQ(refusal(patched_dword(m, 1396, 3)),
              p + "offset 1408: bitmap 7: image size 8 is not stride x height 12\n");
    EXPECT_EQ(refusal(patched_word(m, 1402, 4)), p + "offset 1402: bitmap 7: bit count is not 8\n");
    EXPECT_EQ(refusal(patched_dword(m, 1404, 1)), p + "offset 1404: bitmap 7: pixels are compressed\n");
    // Bitmap 7 taller, with an image size to match: its pixels (after the
    // header and palette, at 2452) would run past the section's end.
    EXPECT_EQ(refusal(patched_dword(patched_dword(m, 1396, 0x3FFFFFFF), 1408, 0xFFFFFFFC)),
              p + "offset 2452: bitmap pixels needs 4294967292 bytes, but the bitmap section ends at 3532\n");
    // Bitmap -1 (data at 2460) one pixel wide: stride 4, and the section
    // ends 4 bytes before the wave section.
    EXPECT_EQ(refusal(patched_dword(patched_dword(m, 2464, 1), 2480, 4)),
              p + "offset 172: wave section offset 3532, but the bitmap section ends at 3528\n");
    EXPECT_EQ(refusal(patched_dword(m, 3540, 3536)), p + "offset 3540: wave data offset 3536 is not 3560\n");
    // Wave 4's size (at 3556) one byte more, and one byte less.
    EXPECT_EQ(refusal(patched_dword(m, 3556, 11)),
              p + "offset 3608: wave data needs 11 bytes, but the wave section ends at 3618\n");
    EXPECT_EQ(refusal(patched_dword(m, 3556, 9)),
              p + "offset 180: menu section offset 3618, but the wave section ends at 3617\n");
    EXPECT_EQ(refusal(patched_dword(m, 3544, 0xFFFFFFF0)),
              p + "offset 3560: wave data needs 4294967280 bytes, but the wave section ends at 3618\n");
    EXPECT_EQ(refusal(patched_dword(m, 3544, 2)), p + "offset 3560: wave 3 does not begin with \"RIFF\"\n");
    EXPECT_EQ(refusal(patched_word(m, 3560, 'X')), p + "offset 3560: wave 3 does not begin with \"RIFF\"\n");
    EXPECT_EQ(refusal(patched_dword(m, 3618, 3)), p + "offset 3618: menu table marker is not 2\n");
    EXPECT_EQ(refusal(patched_dword(m, 3622, 3618)), p + "offset 3622: menu directory offset is not 3630\n");
    EXPECT_EQ(refusal(patched_dword(m, 3630, 0x40000000)),
              p + "offset 3634: menu offsets: 1073741824 of 4 bytes each do not fit before the file ends at 3724\n");
    EXPECT_EQ(refusal(patched_dword(m, 3634, 9999)), p + "offset 3634: menu offset 9999 is not 3642\n");
    EXPECT_EQ(refusal(patched_word(m, 3644, 7)), p + "offset 3644: menu 1: unknown entry kind 7\n");
    Bytes longer = m;
    longer.push_back(0);
    EXPECT_EQ(refusal(longer), p + "offset 3724: the file goes on for 1 byte after the last menu\n");
}

TEST(OxdumpRobustness, RandomBytesAreRefused) {
    std::mt19937 random(20240607);
    const Bytes& real = overview_module();
    for (int round = 0; round < 400; ++round) {
        Bytes bytes(random() % 3000);
        for (auto& b : bytes) b = static_cast<unsigned char>(random());
        // Half the rounds keep a real header and tables, so the reading
        // goes on into the descriptors, the code and the sections.
        if (round % 2 == 1 && bytes.size() > 240) std::copy(real.begin(), real.begin() + 240, bytes.begin());
        expect_refused(dump_bytes(bytes), "round " + std::to_string(round));
    }
}

// Real modules with a few bytes changed: each is listed or refused with
// one line, whatever the change hits.
TEST(OxdumpRobustness, MutatedModulesAreListedOrRefused) {
    std::mt19937 random(7);
    const Bytes& real = resource_module();
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = real;
        const int changes = 1 + static_cast<int>(random() % 3);
        for (int c = 0; c < changes; ++c) bytes[random() % bytes.size()] = static_cast<unsigned char>(random());
        const Dump d = dump_bytes(bytes);
        if (d.status == 0) {
            EXPECT_EQ(d.err, "");
            EXPECT_TRUE(d.out.starts_with("module prog.oxb: 3724 bytes\n"));
        } else {
            expect_refused(d, "round " + std::to_string(round));
            ++refused;
        }
    }
    // Most bytes are pixels, palette and text, where any value is valid.
    EXPECT_GT(refused, 0);
}
