// Pass 2 written from pass 1's spool must be byte for byte the pass 2 that
// reads the source again, and the source must be read again whenever that
// pass has more to do than write the same code.
#include <gtest/gtest.h>

#include <string>

#include "support/resource_files.hpp"
#include "support/test_support.hpp"

using namespace oxtest;

namespace {

void expect_same_as_reading_twice(const TempDir& dir, const std::string& source, bool spooled) {
    const PassesRun driver = run_passes(dir, source, PassMode::as_driver);
    const PassesRun twice = run_passes(dir, source, PassMode::reading_twice);
    EXPECT_EQ(driver.spooled, spooled);
    EXPECT_EQ(driver.out, twice.out);
    EXPECT_EQ(driver.errors, twice.errors);
    EXPECT_EQ(driver.fatal, twice.fatal);
    EXPECT_TRUE(driver.module == twice.module) << "modules differ";
}

// Every kind of mark: calls of functions defined further down (one in an
// include file read last), if/elseif/else and else-if chains, while loops
// with break and continue. The padding's returns move the code two bytes
// at a time, so that over the paddings a mark falls across the end of the
// spool's first buffer (64 KiB of code: the repeats make about 90 KiB).
std::string marked_program(int padding) {
    std::string s = "#bitmap 1 \"a.bmp\" 0\n#wave 1 \"a.wav\"\nint g;\nlater(int a);\nhelper(int a);\n";
    s += "OnLoad(int &r)\n{\n    int x;\n";
    for (int i = 0; i < padding; ++i) s += "    return;\n";
    for (int i = 0; i < 800; ++i)
        s += "    while (x) { if (x == 1) { later(x); } elseif (x == 2) { break; } else if (x == 3) { continue; }"
             " else { x = 0; } helper(x); }\n";
    s += "}\nlater(int a) { a = a + 1; }\n#include \"inc.oxh\"\n";
    return s;
}

}  // namespace

TEST(SpooledPass, WritesWhatASecondReadingWrites) {
    TempDir dir;
    write_file(dir / "inc.oxh", "helper(int a) { while (a) { a = a - 1; } }\n");
    write_file(dir / "a.wav", make_wave({1, 2, 3}));
    BmpContents bmp;
    bmp.colours_used = 1;
    bmp.colours = {{1, 2, 3}};
    bmp.pixels.assign(4, 0);
    write_bmp(dir / "a.bmp", bmp);
    constexpr int kPaddings = 64;  // more than the code between two marks, in two-byte steps
    for (int padding = 0; padding < kPaddings; ++padding) {
        SCOPED_TRACE("padding " + std::to_string(padding));
        expect_same_as_reading_twice(dir, marked_program(padding), true);
    }
}

TEST(SpooledPass, ReadsTheSourceAgainWhenPass2HasMoreToDo) {
    struct Case {
        const char* what;
        std::string source;
        bool spooled;
    };
    const Case cases[] = {
        {"a clean program", "f(int a);\nOnLoad(int &r) { f(r); }\nf(int a) { a = 1; }\n", true},
        {"a call of a function never given a body", "f(int a);\nOnLoad(int &r) { f(r); }\n", false},
        {"a warning", "#module \"a\"\n#module \"b\"\n", false},
        {"an error", "OnLoad(int &r) { r = ; }\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        expect_same_as_reading_twice(dir, c.source, c.spooled);
    }
}
