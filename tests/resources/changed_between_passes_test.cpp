// Resource files that change between the two passes: the header written at
// the start of pass 2 holds pass 1's sizes, so a difference must be reported
// instead of writing a module that contradicts its own header.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "driver/compiler.hpp"
#include "driver/fatal.hpp"
#include "driver/pass.hpp"
#include "support/resource_files.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

const std::string kProg = "prog.oxs";

struct Outcome {
    std::string out;
    int errors = 0;
    bool fatal = false;
};

// Runs both passes as the driver does, with a change to the files between them.
Outcome compile_changing(const TempDir& dir, std::string_view source, const std::function<void()>& between) {
    write_file(dir / kProg, source);
    const auto stream = SourceStream::open(dir / kProg);
    const auto module = ModuleStream::create(dir / "prog.oxb");
    std::ostringstream out;
    Compiler c(out);
    c.main_source = stream.get();
    c.main_source_name = kProg;
    c.module = module.get();
    c.sink.attach(module.get());
    c.base_dir = dir.path().string();
    Outcome outcome;
    try {
        compile_pass(c, 1);
        between();
        stream->rewind();
        compile_pass(c, 2);
    } catch (const FatalStop&) {
        outcome.fatal = true;
    }
    outcome.out = out.str();
    outcome.errors = c.diag.error_count();
    return outcome;
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
    const Outcome outcome = compile_changing(dir, "#bitmap 1 \"a.bmp\" 0\n",
                                             [&] { write_bmp(dir / "a.bmp", bitmap_of_height(2)); });
    EXPECT_FALSE(outcome.fatal);
    EXPECT_EQ(outcome.out, error_line(kProg, 2, msg::pass_mismatch));
    EXPECT_EQ(outcome.errors, 1);
}

TEST(ChangedBetweenPasses, WaveOfAnotherSizeIsAPassMismatch) {
    TempDir dir;
    write_file(dir / "a.wav", make_wave({1, 2}));
    const Outcome outcome = compile_changing(dir, "#wave 1 \"a.wav\"\n\n",
                                             [&] { write_file(dir / "a.wav", make_wave({1, 2, 3, 4})); });
    EXPECT_FALSE(outcome.fatal);
    EXPECT_EQ(outcome.out, error_line(kProg, 3, msg::pass_mismatch));
    EXPECT_EQ(outcome.errors, 1);
}

TEST(ChangedBetweenPasses, SameSizesAreNoMismatch) {
    TempDir dir;
    write_file(dir / "a.wav", make_wave({1, 2}));
    const Outcome outcome = compile_changing(dir, "#wave 1 \"a.wav\"\n",
                                             [&] { write_file(dir / "a.wav", make_wave({7, 8})); });
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.errors, 0);
}
