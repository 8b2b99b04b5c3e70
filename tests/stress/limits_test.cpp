// The compiler at and just past its limits: block nesting, parameter and
// argument counts, very long lines, string arguments, parentheses, long
// else-if chains and deeply nested menus. None of them may crash it or
// exhaust its stack, and each limit is reported with its own message.
#include <gtest/gtest.h>

#include <string>

#include "stress/stress_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

constexpr std::size_t kMiB = 1 << 20;

std::string parameter_list(int count) {
    std::string list;
    for (int i = 0; i < count; ++i) list += (i ? ", int a" : "int a") + std::to_string(i);
    return list;
}

std::string argument_list(int count) {
    std::string list;
    for (int i = 0; i < count; ++i) list += (i ? ", " : "") + std::to_string(i);
    return list;
}

}  // namespace

TEST(StressLimits, FunctionBodyHolds254NestedLoops) {
    // The body is level 1, so 254 loops inside it reach level 255.
    expect_created(compile_source("int x;\nf() {" + repeat_text(" while (x) {", 254) + " x = 1;" +
                                  repeat_text(" }", 254) + " }\n"));
}

TEST(StressLimits, BlockAtLevel256IsRefused) {
    // The 255th brace inside the body is not opened, so its closing brace
    // ends the body and the last one has no block left to close.
    const std::string source = "f() {" + repeat_text("{", 255) + repeat_text("}", 255) + "}\n";
    expect_failed(compile_source(source),
                  error_line("prog.oxs", 1, msg::nesting_too_deep) + error_line("prog.oxs", 1, msg::extra_close_brace),
                  2);
}

TEST(StressLimits, TwoHundredFiftySixParametersAndArgumentsCompile) {
    expect_created(compile_source("f(" + parameter_list(256) + ") { }\ng() { f(" + argument_list(256) + "); }\n"));
}

TEST(StressLimits, The257thParameterIsRefused) {
    expect_failed(compile_source("f(" + parameter_list(257) + ") { }\n"),
                  error_line("prog.oxs", 1, msg::too_many_arguments), 1);
}

TEST(StressLimits, The257thArgumentIsRefused) {
    expect_failed(compile_source("f(" + parameter_list(256) + ") { }\ng() { f(" + argument_list(257) + "); }\n"),
                  error_line("prog.oxs", 2, msg::too_many_arguments, argument_detail(257)), 1);
}

TEST(StressLimits, OneMebibyteLinesCompile) {
    // A comment, a word cut to 32 characters, and an expression of half a
    // million operands, each one line of at least a mebibyte.
    const std::string word(kMiB, 'w');
    const std::string source = "// " + std::string(kMiB, 'c') + "\nint " + word + ";\nf() { " + word + " = 1" +
                               repeat_text("+1", kMiB / 2) + "; }\n";
    expect_created(compile_source(source));
}

TEST(StressLimits, OneMebibyteOfOpenParenthesesIsCountedNotRecursedInto) {
    const Compiled result = compile_source("int x;\nf() { x = " + std::string(kMiB, '(') + "1; }\n");
    EXPECT_EQ(result.out, failed_output(error_line("prog.oxs", 2, msg::missing_close_paren), 1));
    EXPECT_FALSE(result.module_exists);
    expect_created(compile_source("int x;\nf() { x = " + std::string(kMiB, '(') + "1" + std::string(kMiB, ')') + "; }\n"));
}

TEST(StressLimits, StringArgumentOf255BytesFitsAnd300DoNot) {
    expect_created(compile_source("str s;\nf() { strcpy(s, \"" + std::string(255, 'x') + "\"); }\n"));
    expect_failed(compile_source("str s;\nf() { strcpy(s, \"" + std::string(300, 'x') + "\"); }\n"),
                  error_line("prog.oxs", 2, msg::string_over_255), 1);
}

TEST(StressLimits, TenThousandLinkElseIfChainsCompile) {
    for (const std::string_view link : {"} else if (a == ", "} elseif (a == "}) {
        std::string source = "f(int a) {\nif (a == 0) { a = 0;\n";
        for (int i = 1; i <= 10000; ++i) source += std::string(link) + std::to_string(i) + ") { a = " + std::to_string(i) + ";\n";
        source += "} else { a = -1; }\n}\n";
        expect_created(compile_source(source));
    }
}

TEST(StressLimits, MenuWithPopupsNested100000DeepCompiles) {
    const std::string source = "#menu 1 {" + repeat_text(" POPUP \"p\" {", 100000) + " MENUITEM \"i\", 1, 2" +
                               repeat_text(" }", 100000) + " }\n";
    const Compiled result = compile_source(source);
    expect_created(result);
    // Each pop-up is its kind, its text and its end: three words.
    EXPECT_EQ(result.module.size(), 272u + 1032 + 4 + 16 + 4 + 2 + 100000 * 6 + 10 + 2);
}

TEST(StressLimits, MenuEndingInside100000OpenPopupsIsReported) {
    expect_failed(compile_source("#menu 1 {" + repeat_text(" POPUP \"p\" {", 100000)),
                  error_line("prog.oxs", 1, msg::syntax), 1);
}
