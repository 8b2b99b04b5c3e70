// Scripts and the command line: every step, the errors that name the
// script line, and the exit statuses as the shell sees them.
#include <gtest/gtest.h>

#include "oxrun/script.hpp"
#include "run_support.hpp"

using namespace oxruntest;

namespace {

std::string script_error(std::string_view text) {
    try {
        (void)oxrun::parse_script(text, "s.oxt");
    } catch (const oxrun::ScriptError& e) {
        return e.what();
    }
    return "no error";
}

constexpr std::string_view kClickSource = "OnClick(int x, int y, int keys)\n{\n    MessageBeep(x + y + keys);\n}\n";

}  // namespace

TEST(OxrunScript, StepsAndCommentsParse) {
    const oxrun::Script s = oxrun::parse_script(
        "# a test\nprogram p.oxs\n\nOnClick 1 -2 0x10\nwait 30\nanswer LineInputBox 1 \"a\\\"b\\\\\\x41\"\n"
        "time 2026-01-02 03:04:05\nsetting n 4294967295\n",
        "s.oxt");
    EXPECT_EQ(s.program, "p.oxs");
    ASSERT_EQ(s.steps.size(), 5u);
    EXPECT_EQ(std::get<oxrun::EventStep>(s.steps[0]).values, (std::vector<std::int32_t>{1, -2, 16}));
    EXPECT_EQ(std::get<oxrun::WaitStep>(s.steps[1]).ms, 30);
    const auto& answer = std::get<oxrun::AnswerStep>(s.steps[2]);
    EXPECT_EQ(std::get<std::int32_t>(answer.values[0]), 1);
    EXPECT_EQ(std::get<std::string>(answer.values[1]), "a\"b\\A");
    EXPECT_EQ(std::get<oxrun::TimeStep>(s.steps[3]).time.second, 5);
    EXPECT_EQ(std::get<std::int32_t>(std::get<oxrun::SettingStep>(s.steps[4]).value), -1);
    EXPECT_EQ(s.lines, (std::vector<int>{4, 5, 6, 7, 8}));
}

TEST(OxrunScript, ErrorsNameTheScriptLine) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"OnClick 1 2", "s.oxt(1): OnClick takes 3 arguments, not 2"},
        {"\nOnPress 1", "s.oxt(2): unknown step or event 'OnPress'"},
        {"OnTargetChanged x", "s.oxt(1): 'x' is not a number"},
        {"OnTargetChanged 4294967296", "s.oxt(1): '4294967296' does not fit in 32 bits"},
        {"wait", "s.oxt(1): wait takes one number of milliseconds"},
        {"wait -1", "s.oxt(1): wait cannot go back in time"},
        {"answer Nothing 1", "s.oxt(1): 'Nothing' is no standard function"},
        {"answer strlen 1", "s.oxt(1): strlen is carried out by the model host, which takes no answers for it"},
        {"answer MessageBox", "s.oxt(1): MessageBox needs a value for each by-reference parameter"},
        {"answer MessageBox 1 2", "s.oxt(1): MessageBox has fewer by-reference parameters than the values given"},
        {"answer FileSelectDialog 1", "s.oxt(1): a str& parameter's answer is a quoted string"},
        {"answer FileSelectDialog \"a", "s.oxt(1): the string has no closing '\"'"},
        {"answer FileSelectDialog \"\\q\"", "s.oxt(1): unknown escape \\q"},
        {"time 2026-13-01 00:00:00", "s.oxt(1): time takes YYYY-MM-DD HH:MM:SS"},
        {"setting a", "s.oxt(1): setting takes a name and a value"},
        {"program a\nprogram b", "s.oxt(2): the script names its program twice"},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(script_error(text), message) << text;
}

TEST(OxrunScript, ExitStatusesOfTheBinary) {
    oxtest::TempDir dir;
    oxtest::write_file(dir / "prog.oxs", kClickSource);
    oxtest::write_file(dir / "bad.oxs", std::string_view("OnLoad(int &result)\n{\n    x = 1;\n}\n"));
    oxtest::write_file(dir / "junk.oxb", std::string_view("not a module"));
    oxtest::write_file(dir / "s.oxt", std::string_view("OnClick 1 2 3\nOnDblClick 0 0 0\n"));
    oxtest::write_file(dir / "broken.oxt", std::string_view("OnClick 1\n"));
    const std::string cwd = dir.path().string();

    const Result ok = run_binary({"prog.oxs", "s.oxt"}, cwd);
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "OnClick(1, 2, 3)\n  MessageBeep(6)\nOnDblClick(0, 0, 0) no handler\n");
    EXPECT_EQ(ok.err, "");

    const Result junk = run_binary({"junk.oxb"}, cwd);
    EXPECT_EQ(junk.status, 2);
    EXPECT_EQ(junk.err, "oxrun: junk.oxb: offset 0: not a module: it does not begin with the magic \"OXB \"\n");

    const Result bad = run_binary({"bad.oxs"}, cwd);
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.err.starts_with("oxrun: bad.oxs(3):")) << bad.err;

    EXPECT_EQ(run_binary({"prog.oxs", "broken.oxt"}, cwd).err, "oxrun: broken.oxt(1): OnClick takes 3 arguments, not 1\n");
    EXPECT_EQ(run_binary({"prog.oxs", "broken.oxt"}, cwd).status, 2);
    EXPECT_EQ(run_binary({"missing.oxs"}, cwd).status, 2);
    EXPECT_EQ(run_binary({}, cwd).status, 2);
    EXPECT_EQ(run_binary({"--max-steps", "0", "prog.oxs"}, cwd).status, 2);
    EXPECT_EQ(run_binary({"--hide", "Nothing", "prog.oxs"}, cwd).status, 2);
    EXPECT_EQ(run_binary({"--bogus", "prog.oxs"}, cwd).status, 2);
    const Result help = run_binary({"--help"}, cwd);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("model host"), std::string::npos);
}

TEST(OxrunScript, AModuleRunsWithSlotNamesInItsTrace) {
    oxtest::TempDir dir;
    const oxtest::Compiled c = oxtest::compile_in(
        dir, "int g;\nOnClick(int x, int y, int keys)\n{\n    g = x;\n    Random(0, 9, g);\n    Random(0, 9, x);\n}\n");
    ASSERT_TRUE(c.module_exists) << c.out;
    oxtest::write_file(dir / "s.oxt", std::string_view("answer Random 4\nOnClick 8 0 0\n"));
    const Result r = run_binary({"prog.oxb", "s.oxt"}, dir.path().string());
    EXPECT_EQ(r.out, "OnClick(8, 0, 0)\n  Random(0, 9, &g.int[0]=4)\n  Random(0, 9, &l.int[0]=8)\n");
}
