// The machine by behaviour: every operator and precedence class with C's
// meaning over int32_t and uint32_t, short-circuit, runtime errors with
// their messages and places, fresh locals, recursion, aliasing and the
// limits. Values are passed to the host through MessageBeep; each expected
// value is worked out by hand.
#include <gtest/gtest.h>

#include <span>
#include <sstream>

#include "run_support.hpp"

using namespace oxruntest;

namespace {

constexpr std::string_view kDecls = "int a, b, big; uint u, w;";
constexpr std::string_view kSetUp = "a = 7; b = -3; big = 2147483647; u = 0xFFFFFFFF; w = 2;\n";

struct Case {
    std::string_view expression;
    std::int32_t value;
};

// a = 7, b = -3, big = 2147483647, u = 0xFFFFFFFF (uint), w = 2 (uint).
constexpr Case kCases[] = {
    {"1 + 2 * 3", 7},          {"(1 + 2) * 3", 9},       {"10 - 4 - 3", 3},          {"100 / 10 / 5", 2},
    {"-7 / 2", -3},            {"-7 % 2", -1},           {"a % 4", 3},               {"1 << 33", 2},
    {"-8 >> 1", -4},           {"u >> 28", 15},          {"b >> 28", -1},            {"b < w", 0},
    {"b < 2", 1},              {"b / w", 2147483646},    {"b % w", 1},               {"big + 1", -2147483647 - 1},
    {"big * 2", -2},           {"!0", 1},                {"!a", 0},                  {"~0", -1},
    {"-u", 1},                 {"+b", -3},               {"3 & 5 ^ 1 | 8", 8},       {"1 || 0 && 0", 1},
    {"(1 || 0) && 0", 0},      {"a == 7 && b == -3", 1}, {"a != 7 || b > 0", 0},     {"a > 6 == 1", 1},
    {"1 + 2 << 3", 24},        {"u << 1 >> 1", 2147483647}, {"w - 3 < 0", 0},        {"5 - -3", 8},
    {"0 && 1 / 0", 0},         {"1 || 1 % 0", 1},        {"a >= 7", 1},              {"a <= 6", 0},
    {"u > b", 1},              {"0xFFFFFFFF + 0", -1},   {"b << 1", -6},             {"(b + 3) * (a - 1)", 0},
    {"a ^ a == 0", 7},
};

std::string beeps(std::span<const std::string> expressions) {
    std::string body(kSetUp);
    for (const std::string& e : expressions) body += "MessageBeep(" + e + ");\n";
    return body;
}

std::string error_of(std::string_view expression) {
    const Result r = run_source(std::string(kDecls) + "\nOnLoad(int &result)\n{\n" + std::string(kSetUp) + "a = " +
                             std::string(expression) + ";\n}\n");
    EXPECT_EQ(r.status, 1) << expression;
    return r.err;
}

}  // namespace

TEST(OxrunMachine, OperatorsFollowCOverInt32AndUint32) {
    std::vector<std::string> expressions;
    std::string expected;
    for (const Case& c : kCases) {
        expressions.emplace_back(c.expression);
        expected += "  MessageBeep(" + std::to_string(c.value) + ")\n";
    }
    const std::string got = onload_calls(kDecls, beeps(expressions));
    // Line by line, so that a failure names its expression.
    std::istringstream g(got), e(expected);
    std::string gl, el;
    for (const Case& c : kCases) {
        std::getline(g, gl);
        std::getline(e, el);
        EXPECT_EQ(gl, el) << c.expression;
    }
}

TEST(OxrunMachine, FaultsOfArithmeticAndHostOperatorsAreRuntimeErrors) {
    const std::pair<std::string_view, std::string_view> faults[] = {
        {"a / 0", "division by zero"},
        {"w % (b + 3)", "remainder by zero"},
        {"(-2147483647 - 1) / -1", "division of -2147483648 by -1 overflows"},
        {"(-2147483647 - 1) % -1", "remainder of -2147483648 by -1 overflows"},
        {"1 + #- a", "the operator #- is the host's own; the model host does not define it"},
    };
    for (const auto& [expression, message] : faults)
        EXPECT_NE(error_of(expression).find(": runtime error: " + std::string(message) + " (in OnLoad"), std::string::npos)
            << expression;
    const std::size_t deep = 5000;
    EXPECT_NE(error_of(std::string(deep, '(') + "1" + std::string(deep, ')')).find("nested too deeply to evaluate"),
              std::string::npos);
}

// Code: "a = 0;" takes 14 bytes at 0, so the division stands at 14.
TEST(OxrunMachine, RuntimeErrorNamesFileLineFunctionAndAddress) {
    oxtest::TempDir dir;
    oxtest::write_file(dir / "prog.oxs", std::string_view("int a;\nOnLoad(int &result)\n{\n    a = 0;\n    a = 1 / a;\n}\n"));
    const Result r = run_binary({"prog.oxs"}, dir.path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "OnLoad(&result)\n");
    EXPECT_EQ(r.err, "oxrun: prog.oxs(5): runtime error: division by zero (in OnLoad, code address 14)\n");
}

TEST(OxrunMachine, RuntimeErrorInAnIncludeFileNamesThatFile) {
    oxtest::TempDir dir;
    oxtest::write_file(dir / "lib.oxh", std::string_view("half(int x)\n{\n    MessageBeep(x / 0);\n}\n"));
    oxtest::write_file(dir / "prog.oxs",
                       std::string_view("half(int x);\nOnLoad(int &result)\n{\n    half(4);\n}\n#include \"lib.oxh\"\n"));
    const Result r = run_binary({"prog.oxs"}, dir.path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("oxrun: lib.oxh(3): runtime error: division by zero (in half, code address ")) << r.err;
}

// A parameter without a name receives nothing, but its argument is still
// evaluated, with the runtime errors that evaluation meets.
TEST(OxrunMachine, AnArgumentForAnUnnamedParameterIsStillEvaluated) {
    oxtest::TempDir dir;
    oxtest::write_file(dir / "prog.oxs", std::string_view("skip(int, int &b)\n{\n    b = 5;\n}\nOnLoad(int &result)\n{\n"
                                                          "    skip(2, result);\n    skip(1 / (result - 5), result);\n}\n"));
    const Result r = run_binary({"prog.oxs"}, dir.path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("oxrun: prog.oxs(8): runtime error: division by zero (in OnLoad")) << r.err;
}

TEST(OxrunMachine, LocalsStartAfreshAtEveryCallSoRecursionWorks) {
    const std::string decls =
        "sum(int n, int &out);\n"
        "sum(int n, int &out)\n{\n    int local;\n    if (local != 0) { MessageBeep(99); }\n    local = n;\n"
        "    if (n > 0) { sum(n - 1, out); }\n    out = out + local;\n}\nint total;";
    EXPECT_EQ(onload_calls(decls, "sum(4, total); MessageBeep(total);"), "  MessageBeep(10)\n");
}

TEST(OxrunMachine, ByReferenceParametersAreTheCallersVariables) {
    const std::string decls =
        "int g;\nuint v;\nstr s;\n"
        "twice(int &x, int &y)\n{\n    x = x + 1;\n    y = y * 10;\n}\n"
        "setboth(uint &p, str &t)\n{\n    p = 5;\n    strcat(t, \"!\");\n}\n"
        "pass(str &t)\n{\n    setboth(v, t);\n}\n";
    EXPECT_EQ(onload_calls(decls, "g = 1; twice(g, g); MessageBeep(g); pass(s); MessageBeep(v); strlen(g, s);"),
              "  MessageBeep(20)\n  strcat(&t=\"!\", \"!\")\n  MessageBeep(5)\n  strlen(&g=1, \"!\")\n");
}

TEST(OxrunMachine, ControlFlowWithElseifBreakAndContinue) {
    const std::string body =
        "int i, odd;\ni = 0;\nwhile (1) {\n    i = i + 1;\n    if (i > 9) { break; }\n"
        "    if (i % 2 == 0) { continue; } elseif (i == 5) { MessageBeep(500); } else { odd = odd + 1; }\n}\n"
        "MessageBeep(i); MessageBeep(odd);";
    EXPECT_EQ(onload_calls("", body), "  MessageBeep(500)\n  MessageBeep(10)\n  MessageBeep(4)\n");
}

// while at 0 (14 bytes), its jump back at 14: the 101st step is the
// condition at 0.
TEST(OxrunMachine, StepBudgetEndsAnEndlessLoop) {
    const Result r = run_source("OnLoad(int &result)\n{\n    while (1) { }\n}\n", "", {"--max-steps", "100"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(": runtime error: the step budget of 100 instructions ran out (in OnLoad, code address 0)"),
              std::string::npos)
        << r.err;
}

// OnLoad's call takes 6 bytes and its return 2, so f begins at 8.
TEST(OxrunMachine, CallDepthLimitEndsEndlessRecursion) {
    const Result r = run_source("f();\nOnLoad(int &result)\n{\n    f();\n}\nf()\n{\n    f();\n}\n", "", {"--max-depth", "10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(": runtime error: the call depth limit of 10 nested calls was reached (in f, code address 8)"),
              std::string::npos)
        << r.err;
}

TEST(OxrunMachine, TheSameProgramAndScriptGiveTheSameTrace) {
    const std::string source = "int n;\nOnInterval()\n{\n    n = n * 3 + 1;\n    Random(0, n, n);\n    MessageBeep(n);\n}\n"
                               "OnLoad(int &result)\n{\n    SetInterval(10);\n}\n";
    const std::string script = "answer Random 4\nwait 35\n";
    const Result first = run_source(source, script);
    EXPECT_EQ(first.out, run_source(source, script).out);
    EXPECT_EQ(first.out,
              "OnLoad(&result)\n  SetInterval(10)\n  -> &result=0\nOnInterval()\n  Random(0, 1, &n=4)\n  MessageBeep(4)\n"
              "OnInterval()\n  Random(0, 13, &n=13)\n  MessageBeep(13)\nOnInterval()\n  Random(0, 40, &n=40)\n"
              "  MessageBeep(40)\n");
}

// a: the loop's condition at 0, its jump back at 14 (operand at 16), return
// at 20; b: x = 5 at 22. The jump is made to lead into b, whose local a lacks.
TEST(OxrunMachine, CodeThatNamesAnotherFunctionsLocalTrapsWhenReached) {
    oxtest::TempDir dir;
    oxtest::Compiled c = oxtest::compile_in(
        dir, "a()\n{\n    while (1) { }\n}\nb()\n{\n    int x;\n    x = 5;\n}\nOnLoad(int &result)\n{\n    a();\n}\n");
    ASSERT_TRUE(c.module_exists) << c.out;
    const std::uint32_t base = oxtest::code_base(c.module);
    ASSERT_EQ(oxtest::dword_at(c.module, base + 16), base);
    for (int k = 0; k < 4; ++k) c.module[base + 16 + k] = static_cast<unsigned char>((base + 22) >> (8 * k));
    oxtest::write_file(dir / "prog.oxb", c.module);
    const Result r = run_binary({"prog.oxb"}, dir.path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "oxrun: prog.oxb: runtime error: the assignment names a variable the function does not have "
              "(in function 0, code address 22)\n");
}

TEST(OxrunMachine, AHandlerWithoutVariablesRunsAsTheFirstCall) {
    EXPECT_EQ(run_source("OnUnload()\n{\n    MessageBeep(1);\n}\n").out, "OnUnload()\n  MessageBeep(1)\n");
}
