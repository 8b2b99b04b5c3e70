// Resource files that change between the two passes: the header written at
// the start of pass 2 holds pass 1's sizes, so a difference must be reported
// instead of writing a module that contradicts its own header; and a change
// that keeps the sizes is written as the files now are, as a second reading
// of the source writes it.
#include <gtest/gtest.h>

#include <functional>

#include "support/passes.hpp"
#include "support/resource_files.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

const std::string kProg = "prog.oxs";

// Both passes as the driver runs them, with a change to the files between them.
TwoPasses compile_changing(const TempDir& dir, std::string_view source, const std::function<void()>& between) {
    return TwoPasses(dir, source, PassSetup().in(PassMode::as_driver).changing(between));
}

BmpContents bitmap_of_height(std::int32_t height) {
    BmpContents bmp;
    bmp.height = height;
    bmp.colours_used = 1;
    bmp.colours = {{1, 2, 3}};
    bmp.pixels.assign(4 * static_cast<std::size_t>(height), 0);
    return bmp;
}

}  // namespace

TEST(ChangedBetweenPasses, BitmapWithOtherDimensionsIsAPassMismatch) {
    TempDir dir;
    write_bmp(dir / "a.bmp", bitmap_of_height(1));
    const TwoPasses outcome = compile_changing(dir, "#bitmap 1 \"a.bmp\" 0\n",
                                             [&] { write_bmp(dir / "a.bmp", bitmap_of_height(2)); });
    EXPECT_FALSE(outcome.fatal());
    EXPECT_EQ(outcome.out(), error_line(kProg, 2, msg::pass_mismatch));
    EXPECT_EQ(outcome.errors(), 1);
}

TEST(ChangedBetweenPasses, WaveOfAnotherSizeIsAPassMismatch) {
    TempDir dir;
    write_file(dir / "a.wav", make_wave({1, 2}));
    const TwoPasses outcome = compile_changing(dir, "#wave 1 \"a.wav\"\n\n",
                                             [&] { write_file(dir / "a.wav", make_wave({1, 2, 3, 4})); });
    EXPECT_FALSE(outcome.fatal());
    EXPECT_EQ(outcome.out(), error_line(kProg, 3, msg::pass_mismatch));
    EXPECT_EQ(outcome.errors(), 1);
}

// The module is the one compiled from the changed files from the start.
TEST(ChangedBetweenPasses, SameSizesAreNoMismatchAndTheFilesAreWrittenAsTheyNowAre) {
    const std::string source = "#wave 1 \"a.wav\"\n#bitmap 2 \"b.bmp\" 1\n";
    const auto write_files = [](const TempDir& dir, const Bytes& wave, Colour colour) {
        write_file(dir / "a.wav", make_wave(wave));
        BmpContents bmp = bitmap_of_height(1);
        bmp.colours_used = 2;
        bmp.colours = {colour, {}};  // the second is the transparent one
        write_bmp(dir / "b.bmp", bmp);
    };
    TempDir changed, fresh;
    write_files(changed, {1, 2}, {1, 2, 3});
    const TwoPasses outcome = compile_changing(changed, source, [&] { write_files(changed, {7, 8}, {4, 5, 6}); });
    EXPECT_EQ(outcome.out(), "");
    EXPECT_EQ(outcome.errors(), 0);
    write_files(fresh, {7, 8}, {4, 5, 6});
    EXPECT_TRUE(same_module(outcome.module(), TwoPasses(fresh, source, PassSetup().in(PassMode::as_driver)).module()));
}

// A compile whose pass 1 sets the block records of closed functions aside
// (here after every function) reports a change as one that kept them all:
// pass 2 reads the changed files against pass 1's records.
TEST(ChangedBetweenPasses, SettingBlockRecordsAsideChangesNothing) {
    struct Case {
        const char* what;
        std::string source;
        std::function<void(const TempDir&)> before, after;
        std::string expected_out;
    };
    const auto bitmap = [](std::int32_t height) {
        return [height](const TempDir& dir) { write_bmp(dir / "a.bmp", bitmap_of_height(height)); };
    };
    const auto include = [](std::string text) {
        return [text](const TempDir& dir) { write_file(dir / "inc.oxh", text); };
    };
    const Case cases[] = {
        {"a bitmap with other dimensions", "f() { }\n#bitmap 1 \"a.bmp\" 0\n", bitmap(1), bitmap(2),
         error_line(kProg, 3, msg::pass_mismatch)},
        {"an include file with other blocks, beside a warning",
         "#module \"a\"\n#module \"b\"\n#include \"inc.oxh\"\nOnLoad(int &r) { }\n",
         include("f(int a) { while (a) { a = 0; } }\n"), include("f(int a) { if (a) { a = 0; } }\n"),
         // No record where the if opens: reported there and where it closes.
         kProg + "(2):" + std::string(msg::warning.cp932) + std::string(msg::module_redefined.cp932) + "\n" +
             error_line("inc.oxh", 1, msg::pass_mismatch) + error_line("inc.oxh", 1, msg::pass_mismatch)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> outs;
        std::vector<Bytes> modules;
        for (const std::size_t kept : {oxbuild::BlockRecords::kKept, std::size_t{0}}) {
            TempDir dir;
            c.before(dir);
            const TwoPasses outcome(dir, c.source,
                                    PassSetup().in(PassMode::as_driver).keeping_blocks(kept).changing([&] { c.after(dir); }));
            EXPECT_FALSE(outcome.fatal());
            outs.push_back(outcome.out());
            modules.push_back(outcome.module());
        }
        EXPECT_EQ(outs[0], c.expected_out);
        EXPECT_EQ(outs[1], outs[0]);
        EXPECT_EQ(modules[1], modules[0]);
    }
}
