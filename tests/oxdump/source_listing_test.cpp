// oxdump --source: the listing with each statement's lines before its
// instructions and the source's names, and the refusal of a source that is
// not the module's.
#include <gtest/gtest.h>

#include "dump_support.hpp"

using namespace oxdumptest;
using oxtest::TempDir;

namespace {

constexpr std::string_view kProgram =
    "int count;\n"
    "bump(int & n)\n"
    "{\n"
    "    n = n + 1;\n"
    "}\n"
    "OnLoad(int & result)\n"
    "{\n"
    "    // start\n"
    "    count = 1;\n"
    "    bump(count);\n"
    "    result = 0;\n"
    "}\n";

Dump dump_with_source(const TempDir& dir, std::string_view module = "prog.oxb") {
    return run_dump_binary({"--source", "prog.oxs", std::string(module)}, dir.path().string());
}

}  // namespace

// Sizes: assign of a constant 14 bytes, of n + 1 22, return 2, a call with
// one by-reference argument 10; two descriptors of 40 bytes after a function
// table that ends at 280 put the code at 360.
TEST(OxdumpSourceListing, StatementsPrecedeTheirInstructionsWithNames) {
    TempDir dir;
    oxtest::compile_in(dir, kProgram);
    const Dump d = dump_with_source(dir);
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(d.err, "");
    EXPECT_EQ(block(d.out, "code:", "bitmap section:"), R"(code: 64 bytes at 360

function 0 bump
prog.oxs(1): int count;
prog.oxs(2): bump(int & n)
prog.oxs(3): {
prog.oxs(4):     n = n + 1;
     0  @360     assign n = n + 1
prog.oxs(5): }
    22  @382     return

function 1 OnLoad (OnLoad)
prog.oxs(6): OnLoad(int & result)
prog.oxs(7): {
prog.oxs(8):     // start
prog.oxs(9):     count = 1;
    24  @384     assign count = 1
prog.oxs(10):     bump(count);
    38  @398     call bump(&count)
prog.oxs(11):     result = 0;
    48  @408     assign result = 0
prog.oxs(12): }
    62  @422     return

)");
    EXPECT_TRUE(block(d.out, "function table", "event handler table").find("-> function 1") != std::string::npos);
}

TEST(OxdumpSourceListing, RefusesASourceThatIsNotTheModules) {
    TempDir dir;
    oxtest::compile_in(dir, "int count;\nOnLoad(int & result)\n{\n    count = 2;\n}\n", "other.oxs");
    oxtest::compile_in(dir, kProgram);
    const Dump other = dump_with_source(dir, "other.oxb");
    EXPECT_EQ(other.status, 2);
    EXPECT_EQ(other.out, "");
    EXPECT_EQ(other.err, "oxdump: other.oxb: is not the module that prog.oxs compiles to\n");

    oxtest::write_file(dir / "prog.oxs", std::string(kProgram) + "OnUnload() { missing(); }\n");
    const Dump broken = dump_with_source(dir);
    EXPECT_EQ(broken.status, 2);
    EXPECT_EQ(broken.out, "");
    EXPECT_TRUE(broken.err.ends_with("oxdump: prog.oxs: does not compile\n")) << broken.err;

    std::filesystem::remove(dir / "prog.oxs");
    const Dump missing = dump_with_source(dir);
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "oxdump: prog.oxs: cannot be read\n");
    EXPECT_EQ(run_dump({"prog.oxb", "--source"}).err,
              "oxdump: --source needs a source file\nusage: oxdump [--extract DIR] [--source SOURCE] MODULE\n");
}
