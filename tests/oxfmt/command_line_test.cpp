// The oxfmt command as its users run it, in a directory of its own: the
// result printed, written back or checked, and the exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/system.hpp"
#include "support/test_support.hpp"

namespace {

using oxtest::RunResult;
using oxtest::TempDir;

constexpr char kMessy[] = "int  a;\nOnUnload(){a=1;}\n";
constexpr char kTidy[] = "int a;\nOnUnload()\n{\n    a = 1;\n}\n";

RunResult oxfmt(const TempDir& dir, const std::vector<std::string>& args) {
    return oxtest::run_program(OXFMT_BINARY, args, dir.path().string(), {"OXBUILD_MESSAGES=en"});
}

// Through a shell, for standard input and standard error.
RunResult oxfmt_sh(const TempDir& dir, const std::string& arguments) {
    return oxtest::run_program("/bin/sh", {"-c", std::string(OXFMT_BINARY) + " " + arguments}, dir.path().string(),
                               {"OXBUILD_MESSAGES=en"});
}

TEST(OxfmtCommandLine, PrintsWritesBackOrChecks) {
    TempDir dir;
    oxtest::write_file(dir / "prog.oxs", kMessy);
    RunResult run = oxfmt(dir, {"prog.oxs"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.raw_out, kTidy);

    run = oxfmt(dir, {"--check", "prog.oxs"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "--- prog.oxs\n+++ prog.oxs (formatted)\n@@ -1,2 +1,5 @@\n-int  a;\n-OnUnload(){a=1;}\n"
              "+int a;\n+OnUnload()\n+{\n+    a = 1;\n+}\n");
    EXPECT_EQ(oxtest::read_file(dir / "prog.oxs"), oxtest::Bytes(kMessy, kMessy + sizeof kMessy - 1));

    run = oxfmt(dir, {"-w", "prog.oxs"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(oxtest::read_file(dir / "prog.oxs"), oxtest::Bytes(kTidy, kTidy + sizeof kTidy - 1));
    EXPECT_EQ(oxfmt(dir, {"--check", "prog.oxs"}).status, 0);
}

TEST(OxfmtCommandLine, WritingBackKeepsTheFilesPermissions) {
    if (oxtest::on_windows()) GTEST_SKIP() << "POSIX permissions";
    TempDir dir;
    oxtest::write_file(dir / "prog.oxs", kMessy);
    namespace fs = std::filesystem;
    fs::permissions(dir / "prog.oxs", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(oxfmt(dir, {"-w", "prog.oxs"}).status, 0);
    EXPECT_EQ(fs::status(dir / "prog.oxs").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(OxfmtCommandLine, ReadsStandardInputWithoutAFile) {
    if (oxtest::on_windows()) GTEST_SKIP() << "needs a POSIX shell";
    TempDir dir;
    oxtest::write_file(dir / "in.txt", kMessy);
    const RunResult run = oxfmt_sh(dir, "< in.txt");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.raw_out, kTidy);
}

// Exit status 2, the file untouched, and the reason on standard error.
TEST(OxfmtCommandLine, RefusesWhatItCannotFormat) {
    if (oxtest::on_windows()) GTEST_SKIP() << "needs a POSIX shell";
    TempDir dir;
    oxtest::write_file(dir / "bad.oxs", "OnUnload()\n{\n    x = 1;\n}\n");
    struct Refusal {
        std::string arguments;
        std::string error;
    };
    const Refusal refusals[] = {
        {"-w bad.oxs", "bad.oxs(3):symbol not found : x\noxfmt: bad.oxs is not formatted: the compiler reports the "
                       "lines above\n"},
        {"missing.oxs", "oxfmt: cannot read missing.oxs\n"},
        {"-w", ""},
        {"--frobnicate prog.oxs", ""},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.arguments);
        const RunResult run = oxfmt_sh(dir, r.arguments + " 2> err.txt");
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        const auto err = oxtest::read_file(dir / "err.txt");
        const std::string text(err.begin(), err.end());
        if (r.error.empty()) EXPECT_EQ(text.rfind("usage: oxfmt", 0), 0u) << text;
        else EXPECT_EQ(text, r.error);
    }
    const auto bad = oxtest::read_file(dir / "bad.oxs");
    EXPECT_EQ(std::string(bad.begin(), bad.end()), "OnUnload()\n{\n    x = 1;\n}\n");
}

}  // namespace
