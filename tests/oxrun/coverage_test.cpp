// oxrun --lines and --coverage: trace lines with their file and line, and
// the lcov tracefile (lines with their hits, both outcomes of each
// condition, functions), merged over the tests of one --test run and read
// by genhtml where it is installed.
#include <gtest/gtest.h>

#include "run_support.hpp"
#include "support/system.hpp"

using namespace oxruntest;

namespace {

constexpr std::string_view kProgram =
    "int count;\n"               // 1
    "#include \"lib.oxi\"\n"     // 2
    "OnClick(int x, int y, int keys)\n"  // 3
    "{\n"                        // 4
    "    count = 0;\n"           // 5
    "    while (count < x) {\n"  // 6
    "        bump(count, 2);\n"  // 7
    "    }\n"                    // 8
    "    if (y) {\n"             // 9
    "        MessageBeep(count / y);\n"  // 10
    "    }\n"                    // 11
    "}\n"                        // 12
    "unused()\n"                 // 13
    "{\n"                        // 14
    "    count = 1;\n"           // 15
    "}\n";                       // 16

void write_program(const oxtest::TempDir& dir) {
    oxtest::write_file(dir / "lib.oxi", oxruntest::kBumpLibrary);
    oxtest::write_file(dir / "prog.oxs", kProgram);
}

std::string text_of(const std::string& path) {
    const auto bytes = oxtest::read_file(path);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

TEST(OxrunLines, EveryTraceLineNamesItsFileAndLineAndErrorsTheirs) {
    oxtest::TempDir dir;
    write_program(dir);
    oxtest::write_file(dir / "s.oxt", std::string_view("OnClick 1 1 0\nOnDblClick 0 0 0\nOnClick 0 0 0\n"));
    const Result r = run_binary({"--lines", "prog.oxs", "s.oxt"}, dir.path().string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "OnClick(1, 1, 0)  # prog.oxs(3)\n"
              "  MessageBeep(2)  # prog.oxs(10)\n"
              "OnDblClick(0, 0, 0) no handler\n"
              "OnClick(0, 0, 0)  # prog.oxs(3)\n");
    oxtest::write_file(dir / "lib.oxi", std::string_view("bump(int & n, int by)\n{\n    n = n / 0;\n}\n"));
    const Result fault = run_binary({"prog.oxs", "s.oxt"}, dir.path().string());
    EXPECT_EQ(fault.status, 1);
    EXPECT_EQ(fault.err, "oxrun: lib.oxi(3): runtime error: division by zero (in bump, code address 0)\n");
}

// Two tests of one program: OnClick 2 1 runs the loop once (count becomes 2)
// and beeps; OnClick 0 0 skips both bodies. Lines run by both add up; the
// loop's condition held once and failed twice, the if's held once and
// failed once; unused never ran.
TEST(OxrunCoverage, TracefileMergesTheTestsOfARun) {
    oxtest::TempDir dir;
    write_program(dir);
    oxtest::write_file(dir / "a.oxt", std::string_view("program prog.oxs\nOnClick 2 1 0\n"));
    oxtest::write_file(dir / "b.oxt", std::string_view("program prog.oxs\nOnClick 0 0 0\n"));
    const std::string cwd = dir.path().string();
    ASSERT_EQ(run_binary({"--test", "--update", "a.oxt", "b.oxt"}, cwd).status, 0);
    const Result r = run_binary({"--test", "--coverage", "cov.info", "."}, cwd);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string full = std::filesystem::weakly_canonical(dir.path()).generic_string();
    EXPECT_EQ(text_of(dir / "cov.info"),
              "TN:\nSF:" + full + "/lib.oxi\n"
              "FN:1,bump\nFNDA:1,bump\nFNF:1\nFNH:1\nBRF:0\nBRH:0\n"
              "DA:3,1\nDA:4,1\nLF:2\nLH:2\nend_of_record\n"
              "TN:\nSF:" + full + "/prog.oxs\n"
              "FN:3,OnClick\nFN:13,unused\nFNDA:2,OnClick\nFNDA:0,unused\nFNF:2\nFNH:1\n"
              "BRDA:6,0,0,1\nBRDA:6,0,1,2\nBRDA:9,0,0,1\nBRDA:9,0,1,1\nBRF:4\nBRH:4\n"
              "DA:5,2\nDA:6,3\nDA:7,1\nDA:8,1\nDA:9,2\nDA:10,1\nDA:12,2\nDA:15,0\nDA:16,0\n"
              "LF:9\nLH:7\nend_of_record\n");
#ifdef _WIN32
    GTEST_SKIP() << "genhtml runs on the build machine only";
#endif
    const oxtest::ProcessRun html =
        oxtest::run_process("genhtml", {"--branch-coverage", "-q", "-o", "html", "cov.info"}, cwd);
    if (html.status == 127) GTEST_SKIP() << "genhtml is not installed";
    EXPECT_EQ(html.status, 0) << html.err;
    const std::string page = text_of(dir / "html/index.html");
    EXPECT_NE(page.find("81.8 %"), std::string::npos) << page;  // 9 of the 11 lines
}

TEST(OxrunCoverage, AFileThatCannotBeWrittenIsRefused) {
    oxtest::TempDir dir;
    const Result r = run_source(dir, "OnLoad(int & result)\n{\n}\n", "", {"--coverage", dir / "no/such/cov.info"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "oxrun: " + (dir / "no/such/cov.info") + ": cannot be written\n");
}
