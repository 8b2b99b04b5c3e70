// One pass and the top-level loop: what each pass counts and writes, the
// dispatch of items, the else allowance and the unclosed-block check.
#include <gtest/gtest.h>

#include "support/code_builder.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

// A module exercising every statement form, argument form and block kind.
constexpr std::string_view kEveryConstruct =
    "int g;\n"
    "uint u;\n"
    "str t;\n"
    "later(int a, str &s);\n"
    "OnLoad(int &r)\n"
    "{\n"
    "    int i;\n"
    "    str s;\n"
    "    i = 10;\n"
    "    while (i > 0) {\n"
    "        if (i == 5) { continue; } elseif (i == 7) { break; } else if (i) { i = i - 1; } else { }\n"
    "        { int j; j = -i * (g + u) % 3; }\n"
    "        strcpy(s, \"abc\" \"d\");\n"
    "        MessageBox(\"\", 0, r);\n"
    "        later(i, s);\n"
    "        i = i - 1;\n"
    "    }\n"
    "    return;\n"
    "}\n"
    "return;\n"
    "later(int a, str &s) { strcat(s, t); ClearPattern(); }\n";

}  // namespace

TEST(Passes, Pass2WritesExactlyWhatPass1CountedAndItsCounterStaysZero) {
    TwoPasses passes(kEveryConstruct);
    ASSERT_EQ(passes.out(), "");
    EXPECT_FALSE(passes.fatal());
    EXPECT_GT(passes.pass1_code_size(), 0);
    EXPECT_EQ(passes.pass2_code_size(), passes.pass1_code_size());
    EXPECT_EQ(passes.counter_after_pass2(), 0);
    EXPECT_EQ(static_cast<std::int64_t>(code_area(compile_ok(kEveryConstruct)).size()), passes.pass1_code_size());
}

TEST(Passes, ErrorsArePrintedOnceAndCountedByPass2) {
    TwoPasses passes("int a;\n$ int b;\nint c;\n");
    EXPECT_EQ(passes.out(), error_at(2, msg::syntax));
    EXPECT_EQ(passes.errors(), 1);
    // Found by pass 2 only, still counted once.
    TwoPasses body_missing("f(int a);\ng() { f(1); }\n");
    EXPECT_EQ(body_missing.out(), error_at(2, msg::no_function_body, name_detail("f")));
    EXPECT_EQ(body_missing.errors(), 1);
}

TEST(TopLevelLoop, AStrayCharacterSkipsPastTheNextSemicolon) {
    // The skip takes the declaration of b with it.
    EXPECT_EQ(errors_of("int a;\n"
                        "$\n"
                        "int b;\n"
                        "int c;\n"
                        "f() { a = b; c = 1; }\n"),
              error_at(2, msg::syntax) + error_at(5, msg::symbol_not_found, name_detail("b")));
}

TEST(TopLevelLoop, DirectiveNamesMayFollowTheHashAfterBlanksOrALineEnd) {
    const Bytes code = code_of(
        "# define N 5\n"
        "#\n"
        "define M 6\n"
        "f(int a)\n"
        "{\n"
        "#define K 7\n"
        "    a = N + M + K;\n"
        "}\n");
    Code expected;
    expected.assign(kLocalInt, 0).constant(5).token(OP_ADD).constant(6).token(OP_ADD).constant(7).end();
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

TEST(TopLevelLoop, AHashWithoutADirectiveNameIsASyntaxError) {
    EXPECT_EQ(errors_of("#foo x;\n"
                        "# ;\n"
                        "#int a;\n"
                        "f() { a = 1; }\n"),
              error_at(1, msg::syntax) + error_at(2, msg::syntax) + error_at(3, msg::syntax) +
                  error_at(4, msg::symbol_not_found, name_detail("a")));
}

TEST(TopLevelLoop, BracesAndSemicolonsAtTheTopLevel) {
    // A '{' opens nothing at the top level and skips past the next ';', so
    // its '}' is extra, like any other '}' there; ';' is an empty item.
    EXPECT_EQ(errors_of(";;\n"
                        "{ int a; }\n"
                        "}\n"
                        "f() { ; ; }\n"),
              error_at(2, msg::syntax) + error_at(2, msg::extra_close_brace) + error_at(3, msg::extra_close_brace));
}

TEST(TopLevelLoop, KeywordsAreCaseSensitiveAndDefinedNamesAreReplacedFirst) {
    const Bytes module = compile_ok(
        "#define integer int\n"
        "integer a;\n"
        "int Int, INT;\n"
        "f() { INT = Int + a; }\n");
    EXPECT_EQ(dword_at(module, format::kGlobalCountFields), 3u);
    Code expected;
    expected.assign(kGlobalInt, 2).var(kGlobalInt, 1).token(OP_ADD).var(kGlobalInt, 0).end().op(OP_RETURN);
    EXPECT_EQ(hex(code_area(module)), hex(expected.bytes()));
    // At the top level an unknown word begins a function statement.
    EXPECT_EQ(errors_of("Int a;\n"), error_at(1, msg::syntax));
}

TEST(TopLevelLoop, EveryItemBetweenTheBraceAndElseUsesUpTheAllowance) {
    // Comments and line ends are no items; a directive is.
    compile_ok("f(int a)\n{\n    if (a) { }\n    // no item\n    /* none */ else { }\n}\n");
    EXPECT_EQ(errors_of("f(int a)\n"
                        "{\n"
                        "    if (a) { }\n"
                        "#define X 1\n"
                        "    else { }\n"
                        "    a = X;\n"
                        "}\n"),
              error_at(5, msg::syntax));
}

TEST(UnclosedBlocks, AreReportedOnceWithTheLineReachedAtTheEnd) {
    // Ten lines, each ended by a line feed, ending inside nested blocks.
    EXPECT_EQ(errors_of("int a;\n"
                        "f()\n"
                        "{\n"
                        "    while (a) {\n"
                        "        {\n"
                        "            a = 1;\n"
                        "        }\n"
                        "        a = 2;\n"
                        "\n"
                        "\n"),
              error_at(11, msg::missing_close_brace));
}

TEST(UnclosedBlocks, AnIncludedFileMayCloseABlockOfItsIncluder) {
    TwoPasses passes("f()\n{\n#include \"inc.oxs\"\n", PassSetup().file("inc.oxs", "}\n"));
    EXPECT_EQ(passes.out(), "");
    EXPECT_EQ(passes.errors(), 0);
    EXPECT_EQ(passes.pass2_code_size(), passes.pass1_code_size());
}

// A source cut between any two tokens ends inside every construct in turn:
// whatever errors that gives, pass 2 must write exactly the code that pass 1
// counted.
TEST(Passes, AgreeOnEveryPrefixOfASource) {
    const auto inside_a_token = [](char before, char after) {
        return (is_word_char(before) && is_word_char(after)) || (before == ' ' && after == ' ');
    };
    for (std::size_t length = 0; length <= kEveryConstruct.size(); ++length) {
        if (length > 0 && length < kEveryConstruct.size() &&
            inside_a_token(kEveryConstruct[length - 1], kEveryConstruct[length]))
            continue;
        TwoPasses passes(kEveryConstruct.substr(0, length));
        ASSERT_FALSE(passes.fatal()) << "cut after " << length << " bytes";
        ASSERT_EQ(passes.pass2_code_size(), passes.pass1_code_size()) << "cut after " << length << " bytes";
    }
}
