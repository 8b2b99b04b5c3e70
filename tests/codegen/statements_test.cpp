// Statements and blocks: the layout of if/elseif/else chains and loops with
// their jump targets, return, nesting limits and the block messages.
// Code addresses in the comments are counted from the start of the code
// area; the module stores them plus the code base.
#include <gtest/gtest.h>

#include "support/code_builder.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

// Code bases of modules whose only function has n parameters:
// 276 (header, tables, one descriptor offset) + 32 + 8n.
constexpr std::uint32_t kBaseOneParameter = 316;
constexpr std::uint32_t kBaseTwoParameters = 324;
constexpr std::uint32_t kBaseThreeParameters = 332;

std::string repeated(char c, int n) { return std::string(static_cast<std::size_t>(n), c); }

}  // namespace

TEST(Opcodes, ValuesAreTheFormats) {
    EXPECT_EQ(OP_ASSIGN, 0x00);
    EXPECT_EQ(OP_JUMP, 0x10);
    EXPECT_EQ(OP_JUMP_IF_FALSE, 0x12);
    EXPECT_EQ(OP_CALL, 0x20);
    EXPECT_EQ(OP_RETURN, 0x21);
    EXPECT_EQ(CALL_USER, 0);
    EXPECT_EQ(CALL_STANDARD, 1);
}

TEST(IfStatements, IfWithoutElseJumpsPastItsBody) {
    const Bytes code = code_of("f(int a) { if (a) { a = 1; } }\n");
    Code expected(kBaseOneParameter);
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 0).end().address(28);  // 0
    expected.assign(kLocalInt, 0).constant(1).end();                     // 14
    ASSERT_EQ(expected.here(), 28u);
    expected.op(OP_RETURN);                                              // 28
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

// if (A) { S1 } elseif (B) { S2 } else { S3 }
//   0   OP_JUMP_IF_FALSE A EXPR_END -> 42 (a1 + 6)
//  22   S1
//  36   OP_JUMP -> 78 (a2)                     a1
//  42   OP_JUMP_IF_FALSE B EXPR_END -> 84 (a2 + 6)
//  64   S2
//  78   OP_JUMP -> 98 (a3)                     a2
//  84   S3
//  98   OP_RETURN                              a3
Code if_elseif_else_layout() {
    Code expected(kBaseOneParameter);
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 0).token(OP_EQ).constant(1).end().address(42);
    expected.assign(kLocalInt, 0).constant(10).end();
    EXPECT_EQ(expected.here(), 36u);
    expected.op(OP_JUMP).address(78);
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 0).token(OP_EQ).constant(2).end().address(84);
    expected.assign(kLocalInt, 0).constant(20).end();
    EXPECT_EQ(expected.here(), 78u);
    expected.op(OP_JUMP).address(98);
    expected.assign(kLocalInt, 0).constant(30).end();
    EXPECT_EQ(expected.here(), 98u);
    expected.op(OP_RETURN);
    return expected;
}

TEST(IfStatements, IfElseifElseLayout) {
    const Bytes code = code_of(
        "f(int a)\n"
        "{\n"
        "    if (a == 1) {\n"
        "        a = 10;\n"
        "    } elseif (a == 2) {\n"
        "        a = 20;\n"
        "    } else {\n"
        "        a = 30;\n"
        "    }\n"
        "}\n");
    EXPECT_EQ(hex(code), hex(if_elseif_else_layout().bytes()));
}

TEST(IfStatements, ElseIfCompilesExactlyLikeElseif) {
    const Bytes code = code_of(
        "f(int a)\n"
        "{\n"
        "    if (a == 1) {\n"
        "        a = 10;\n"
        "    }\n"
        "    else if (a == 2) {\n"
        "        a = 20;\n"
        "    }\n"
        "    else\n"
        "    {\n"
        "        a = 30;\n"
        "    }\n"
        "}\n");
    EXPECT_EQ(hex(code), hex(if_elseif_else_layout().bytes()));
}

TEST(IfStatements, EveryJumpOfAChainLeadsToTheEndOfTheNextBody) {
    // if (a) { } elseif (b) { } elseif (c) { }
    const Bytes code = code_of("f(int a, int b, int c) { if (a) { } elseif (b) { } elseif (c) { } }\n");
    Code expected(kBaseThreeParameters);
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 0).end().address(20);  // 0: past the first jump
    expected.op(OP_JUMP).address(34);                                    // 14: end of the first elseif body
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 1).end().address(40);  // 20
    expected.op(OP_JUMP).address(54);                                    // 34: end of the chain
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 2).end().address(54);  // 40
    ASSERT_EQ(expected.here(), 54u);
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

TEST(IfStatements, ElseBelongsToTheIfWhoseBraceCameJustBefore) {
    // if (a) { if (b) { } } else { }
    const Bytes code = code_of("f(int a, int b) { if (a) { if (b) { } } else { } }\n");
    Code expected(kBaseTwoParameters);
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 0).end().address(34);  // 0: to the else body
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 1).end().address(28);  // 14: inner if, no else
    expected.op(OP_JUMP).address(34);                                    // 28: else
    expected.op(OP_RETURN);                                              // 34
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

TEST(IfStatements, ElseNeedsTheBraceOfAnIfBodyAsTheItemBefore) {
    EXPECT_EQ(errors_of("f(int a)\n"
                        "{\n"
                        "    while (a) { } else { }\n"
                        "    a = 1;\n"
                        "    if (a) { } ; else { }\n"
                        "    a = 2;\n"
                        "    if (a) { } else { } else { }\n"
                        "    a = 3;\n"
                        "    if (a) { } elseif (a) { } else while\n"
                        "    a = 4;\n"
                        "}\n"),
              error_at(3, msg::syntax) + error_at(5, msg::syntax) + error_at(7, msg::syntax) +
                  error_at(9, msg::syntax));
}

// while (a) { while (b) { if (b == 2) { break; } continue; } break; }
//   0   OP_JUMP_IF_FALSE a -> 80          outer loop
//  14   OP_JUMP_IF_FALSE b -> 68          inner loop
//  28   OP_JUMP_IF_FALSE b == 2 -> 56
//  50   OP_JUMP -> 68                     break out of the inner loop only
//  56   OP_JUMP -> 14                     continue
//  62   OP_JUMP -> 14                     inner closing brace
//  68   OP_JUMP -> 80                     break
//  74   OP_JUMP -> 0                      outer closing brace
//  80   OP_RETURN
TEST(WhileStatements, BreakAndContinueReachTheInnermostLoop) {
    const Bytes code = code_of(
        "f(int a, int b)\n"
        "{\n"
        "    while (a) {\n"
        "        while (b) {\n"
        "            if (b == 2) { break; }\n"
        "            continue;\n"
        "        }\n"
        "        break;\n"
        "    }\n"
        "}\n");
    Code expected(kBaseTwoParameters);
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 0).end().address(80);
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 1).end().address(68);
    expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 1).token(OP_EQ).constant(2).end().address(56);
    ASSERT_EQ(expected.here(), 50u);
    expected.op(OP_JUMP).address(68);
    expected.op(OP_JUMP).address(14);
    expected.op(OP_JUMP).address(14);
    expected.op(OP_JUMP).address(80);
    expected.op(OP_JUMP).address(0);
    ASSERT_EQ(expected.here(), 80u);
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

TEST(WhileStatements, ContinueAndBreakOutsideAnyLoopAreReported) {
    EXPECT_EQ(errors_of("f(int a)\n"
                        "{\n"
                        "    if (a) { break; }\n"
                        "    continue;\n"
                        "    break\n"
                        "    a = 1;\n"
                        "}\n"
                        "break;\n"),
              error_at(3, msg::only_in_while) + error_at(4, msg::only_in_while) + error_at(5, msg::only_in_while) +
                  error_at(6, msg::syntax) + error_at(8, msg::only_in_while));
}

TEST(WhileStatements, TheSameIncludeFileTwiceGivesItsBlocksDifferentKeys) {
    TempDir dir;
    write_file(dir / "inc.oxs", "while (a) { a = a - 1; }\n");
    const Compiled result = compile_in(dir,
                                       "f(int a)\n"
                                       "{\n"
                                       "#include \"inc.oxs\"\n"
                                       "#include \"inc.oxs\"\n"
                                       "}\n");
    ASSERT_EQ(result.out, created_output());
    Code expected(kBaseOneParameter);
    for (const std::uint32_t start : {0u, 42u}) {
        expected.op(OP_JUMP_IF_FALSE).var(kLocalInt, 0).end().address(start + 42);
        expected.assign(kLocalInt, 0).var(kLocalInt, 0).token(OP_SUB).constant(1).end();
        expected.op(OP_JUMP).address(start);
    }
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_area(result.module)), hex(expected.bytes()));
}

TEST(ReturnStatements, EveryBodyEndsWithOneReturnOfItsOwn) {
    Code expected;
    expected.op(OP_RETURN);                         // f() { }
    expected.op(OP_RETURN).op(OP_RETURN);           // g() { return; }
    EXPECT_EQ(hex(code_of("f() { }\ng() { return; }\n")), hex(expected.bytes()));
}

TEST(ReturnStatements, ReturnOutsideAFunctionMovesTheEntriesThatFollow) {
    const Bytes module = compile_ok("return;\nf() { }\n");
    constexpr std::uint32_t kBase = 276 + 32;
    EXPECT_EQ(code_base(module), kBase);
    EXPECT_EQ(hex(code_area(module)), hex(Code().op(OP_RETURN).op(OP_RETURN).bytes()));
    EXPECT_EQ(dword_at(module, 276), kBase + 2);  // f's entry
}

// --- nesting ---------------------------------------------------------------

TEST(Nesting, ABodyHolds254LevelsOfBraces) {
    const Bytes code = code_of("f() {\n" + repeated('{', 254) + "\n" + repeated('}', 254) + "\n}\n");
    EXPECT_EQ(hex(code), hex(Code().op(OP_RETURN).bytes()));
}

TEST(Nesting, The255thLevelIsRefused) {
    // The refused brace opens nothing, so the last closing brace is extra.
    EXPECT_EQ(errors_of("f() {\n" + repeated('{', 255) + "\n" + repeated('}', 255) + "\n}\n"),
              error_at(2, msg::nesting_too_deep) + error_at(4, msg::extra_close_brace));
}

TEST(Nesting, AStatementThatCannotOpenItsBlockAlsoFindsNoRecord) {
    EXPECT_EQ(errors_of("f() {\n" + repeated('{', 254) + "\nwhile (1) { }\n" + repeated('}', 253) + "\n}\n"),
              error_at(3, msg::nesting_too_deep) + error_at(3, msg::pass_mismatch));
}

// --- blocks outside functions ----------------------------------------------

TEST(Blocks, IfAtTheTopLevelIsASyntaxErrorAndAPassMismatch) {
    EXPECT_EQ(errors_of("if (1) { }\nint a;\n"), error_at(1, msg::syntax) + error_at(2, msg::pass_mismatch));
}

TEST(Blocks, MissingParenthesesAndBracesAreSyntaxErrors) {
    // The skip past the ';' of line 4 leaves its '}' to close the body.
    EXPECT_EQ(errors_of("f(int a)\n"
                        "{\n"
                        "    while (a) a = 1;\n"
                        "    if (a { a = 2; }\n"
                        "}\n"),
              error_at(3, msg::syntax) + error_at(4, msg::syntax) + error_at(5, msg::extra_close_brace));
}
