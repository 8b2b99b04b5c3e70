// The oxdump command line: options, exit statuses, and what goes to
// standard output and to standard error. The built binary is run where the
// status matters as the shell sees it.
#include <gtest/gtest.h>

#include "dump_support.hpp"

using namespace oxdumptest;
using oxtest::TempDir;

namespace {

constexpr std::string_view kUsage = "usage: oxdump [--extract DIR] [--source SOURCE] MODULE\n";

// The Overview module, as prog.oxb in the directory.
void write_overview_module(const TempDir& dir) {
    oxtest::compile_in(dir, "int count;\nOnLoad(int & result)\n{\n    count = 1;\n    result = 0;\n}\n");
}

}  // namespace

TEST(OxdumpCommandLine, ListsAModuleWithStatus0) {
    TempDir dir;
    write_overview_module(dir);
    const Dump d = run_dump_binary({"prog.oxb"}, dir.path().string());
    EXPECT_EQ(d.status, 0);
    EXPECT_TRUE(d.out.starts_with("module prog.oxb: 1398 bytes\n\nheader\n")) << d.out;
    EXPECT_EQ(d.err, "");
}

TEST(OxdumpCommandLine, BadModuleIsOneLineOnStandardErrorWithStatus1) {
    TempDir dir;
    oxtest::write_file(dir / "text.oxb", std::string_view("plain text\n"));
    const Dump d = run_dump_binary({"text.oxb"}, dir.path().string());
    EXPECT_EQ(d.status, 1);
    EXPECT_EQ(d.out, "");
    EXPECT_EQ(d.err, "oxdump: text.oxb: offset 0: not a module: it does not begin with the magic \"OXB \"\n");
}

TEST(OxdumpCommandLine, WrongCommandLinesGiveUsageAndStatus2) {
    TempDir dir;
    const Dump none = run_dump_binary({}, dir.path().string());
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "oxdump: no module given\n" + std::string(kUsage));

    EXPECT_EQ(run_dump({"a.oxb", "b.oxb"}).err, "oxdump: more than one module given\n" + std::string(kUsage));
    EXPECT_EQ(run_dump({"-x", "a.oxb"}).err, "oxdump: unknown option -x\n" + std::string(kUsage));
    const Dump no_dir = run_dump({"a.oxb", "--extract"});
    EXPECT_EQ(no_dir.status, 2);
    EXPECT_EQ(no_dir.err, "oxdump: --extract needs a directory\n" + std::string(kUsage));
}

TEST(OxdumpCommandLine, HelpAndVersion) {
    const Dump help = run_dump({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, kUsage);
    const Dump version = run_dump({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "oxdump 1.4.0\n");
}

TEST(OxdumpCommandLine, FilesThatCannotBeReadGiveStatus2) {
    TempDir dir;
    const Dump missing = run_dump_binary({"missing.oxb"}, dir.path().string());
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "oxdump: missing.oxb: No such file or directory\n");
    const Dump directory = run_dump({dir.path().string()});
    EXPECT_EQ(directory.status, 2);
    EXPECT_EQ(directory.err, "oxdump: " + dir.path().string() + ": is a directory\n");
}

// After "--" a name that begins with '-' is a module name.
TEST(OxdumpCommandLine, DoubleDashEndsTheOptions) {
    TempDir dir;
    write_overview_module(dir);
    std::filesystem::rename(dir / "prog.oxb", dir / "-m.oxb");
    const Dump d = run_dump_binary({"--", "-m.oxb"}, dir.path().string());
    EXPECT_EQ(d.status, 0) << d.err;
    EXPECT_TRUE(d.out.starts_with("module -m.oxb: 1398 bytes\n"));
}
