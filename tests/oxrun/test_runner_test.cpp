// oxrun --test: expected traces written with --update, differences shown
// as a unified diff, the exit status, and the TAP and JUnit reports (the
// XML checked well-formed by xmllint where it is installed).
#include <gtest/gtest.h>

#include "oxrun/test_runner.hpp"
#include "run_support.hpp"
#include "support/system.hpp"

using namespace oxruntest;

namespace {

constexpr std::string_view kSource = "OnClick(int x, int y, int keys)\n{\n    MessageBeep(x * y);\n}\n";

// A folder with a program, two tests of it and a script that is no test.
void write_suite(const oxtest::TempDir& dir) {
    std::filesystem::create_directories(dir.path() / "sub");
    oxtest::write_file(dir / "sub/prog.oxs", kSource);
    oxtest::write_file(dir / "sub/a.oxt", std::string_view("program prog.oxs\nOnClick 2 3 0\n"));
    oxtest::write_file(dir / "sub/b.oxt", std::string_view("program prog.oxs\nOnClick 1 0 0\nOnClick 0 0 0\n"));
    oxtest::write_file(dir / "sub/plain.oxt", std::string_view("OnClick 1 1 1\n"));
}

}  // namespace

TEST(OxrunTests, UpdateWritesExpectedTracesThatThenPass) {
    oxtest::TempDir dir;
    write_suite(dir);
    const std::string cwd = dir.path().string();
    const Result update = run_binary({"--test", "--update", "."}, cwd);
    EXPECT_EQ(update.status, 0) << update.out << update.err;
    EXPECT_EQ(update.out, "updated ./sub/a.oxt\nupdated ./sub/b.oxt\n2 passed, 0 failed\n");
    EXPECT_EQ(oxtest::read_file(dir / "sub/a.trace"), oxtest::Bytes({'O', 'n', 'C', 'l', 'i', 'c', 'k', '(', '2', ',', ' ', '3', ',', ' ', '0', ')', '\n', ' ', ' ', 'M', 'e', 's', 's', 'a', 'g', 'e', 'B', 'e', 'e', 'p', '(', '6', ')', '\n'}));
    const Result again = run_binary({"--test", "sub"}, cwd);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "ok sub/a.oxt\nok sub/b.oxt\n2 passed, 0 failed\n");
}

TEST(OxrunTests, ADifferenceFailsWithAUnifiedDiff) {
    oxtest::TempDir dir;
    write_suite(dir);
    oxtest::write_file(dir / "sub/a.trace", std::string_view("OnClick(2, 3, 0)\n  MessageBeep(6)\n"));
    oxtest::write_file(dir / "sub/b.trace", std::string_view("OnClick(1, 0, 0)\n  MessageBeep(1)\nOnClick(0, 0, 0)\n  MessageBeep(0)\n"));
    const Result r = run_binary({"--test", "sub/a.oxt", "sub/b.oxt"}, dir.path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "ok sub/a.oxt\nFAIL sub/b.oxt\n--- sub/b.trace\n+++ sub/b.oxt (actual)\n@@ -1,4 +1,4 @@\n OnClick(1, 0, 0)\n"
              "-  MessageBeep(1)\n+  MessageBeep(0)\n OnClick(0, 0, 0)\n   MessageBeep(0)\n1 passed, 1 failed\n");
}

TEST(OxrunTests, RuntimeErrorsAndRefusalsAreInTheTrace) {
    oxtest::TempDir dir;
    oxtest::write_file(dir / "div.oxs", std::string_view("OnClick(int x, int y, int keys)\n{\n    MessageBeep(x / y);\n}\n"));
    oxtest::write_file(dir / "t.oxt", std::string_view("program div.oxs\nOnClick 1 0 0\n"));
    oxtest::write_file(dir / "u.oxt", std::string_view("program none.oxs\n"));
    EXPECT_EQ(oxrun::test_trace(dir / "t.oxt", {}),
              "OnClick(1, 0, 0)\ndiv.oxs(3): runtime error: division by zero (in OnClick, code address 0)\n");
    EXPECT_EQ(oxrun::test_trace(dir / "u.oxt", {}), "refused: none.oxs: cannot be read\n");
}

TEST(OxrunTests, UnifiedDiffKeepsThreeLinesOfContextAndSplitsDistantHunks) {
    const std::string a = "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n";
    const std::string b = "1\n2\nthree\n4\n5\n6\n7\n8\n9\n10\n11\n";
    EXPECT_EQ(oxrun::unified_diff(a, b, "a", "b"),
              "--- a\n+++ b\n@@ -1,6 +1,6 @@\n 1\n 2\n-3\n+three\n 4\n 5\n 6\n@@ -9,4 +9,3 @@\n 9\n 10\n 11\n-12\n");
    EXPECT_EQ(oxrun::unified_diff(a, a, "a", "b"), "");
    EXPECT_EQ(oxrun::unified_diff("", "x\n", "a", "b"), "--- a\n+++ b\n@@ -0,0 +1,1 @@\n+x\n");
}

TEST(OxrunTests, TapAndJUnitReports) {
    oxtest::TempDir dir;
    write_suite(dir);
    oxtest::write_file(dir / "sub/a.trace", std::string_view("OnClick(2, 3, 0)\n  MessageBeep(6)\n"));
    const Result r = run_binary({"--test", "--report", "tap", "--report", "junit=out.xml", "sub"}, dir.path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.starts_with("TAP version 13\n1..2\nok 1 - sub/a.oxt\nnot ok 2 - sub/b.oxt\n# sub/b.trace: no expected trace"))
        << r.out;
    const auto xml = oxtest::read_file(dir / "out.xml");
    const std::string text(xml.begin(), xml.end());
    EXPECT_NE(text.find("<testsuites tests=\"2\" failures=\"1\">"), std::string::npos) << text;
    EXPECT_NE(text.find("<testcase classname=\"oxrun\" name=\"sub/a.oxt\"/>"), std::string::npos);
#ifdef _WIN32
    GTEST_SKIP() << "xmllint runs on the build machine only";
#endif
    const oxtest::ProcessRun lint = oxtest::run_process("xmllint", {"--noout", "out.xml"}, dir.path().string());
    if (lint.status == 127 || lint.err.find("not found") != std::string::npos) GTEST_SKIP() << "xmllint is not installed";
    EXPECT_EQ(lint.status, 0) << lint.err;
}
