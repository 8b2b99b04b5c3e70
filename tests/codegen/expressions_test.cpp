// Expressions: the infix token stream in source order, operators with their
// exact source forms, operands, and the messages of faulty expressions.
// Most cases compile "x = EXPR;" in the function below and compare the code.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/code_builder.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

// Slots: a 0, b 1, c 2, x 3 (local int); s (local str) and r (local str&) 0;
// g global int 0, u global uint 0.
constexpr std::string_view kPrelude =
    "int g;\n"
    "uint u;\n"
    "f(int a, int b, int c, str s, str &r)\n"
    "{\n"
    "    int x;\n";
constexpr int kStatementLine = 6;
constexpr std::uint16_t kA = 0, kB = 1, kC = 2, kX = 3;

std::string function_with(std::string_view statements) { return std::string(kPrelude) + std::string(statements) + "}\n"; }

// The code of "x = EXPR;".
Bytes assignment_code(std::string_view expression) {
    return code_of(function_with("    x = " + std::string(expression) + ";\n"));
}

// OP_ASSIGN to x, the tokens that the test adds, then finish().
Code assignment_to_x() {
    Code code;
    code.assign(kLocalInt, kX);
    return code;
}
const Bytes& finish(Code& code) { return code.end().op(OP_RETURN).bytes(); }

struct OperatorForm {
    std::string_view source;
    ExprToken token;
};

const std::vector<OperatorForm> kBinaryOperators = {
    {"||", OP_LOR}, {"&&", OP_LAND}, {"|", OP_OR},   {"^", OP_XOR},  {"&", OP_AND},  {"==", OP_EQ},
    {"!=", OP_NE},  {"<", OP_LT},    {">", OP_GT},   {"<=", OP_LE},  {">=", OP_GE},  {"<<", OP_SHL},
    {">>", OP_SHR}, {"+", OP_ADD},   {"-", OP_SUB},  {"*", OP_MUL},  {"/", OP_DIV},  {"%", OP_MOD},
};

}  // namespace

// The values are the host's; modules carry them.
TEST(ExpressionTokens, ValuesAndPrecedenceClassesAreTheFormats) {
    const std::vector<std::pair<ExprToken, int>> tokens = {
        {EXPR_END, 0},        {EXPR_VAR, 1},       {EXPR_CONST, 2},    {EXPR_STRING, 2},
        {EXPR_LPAREN, 0x10},  {EXPR_RPAREN, 0x11}, {OP_HASH_MINUS, 0x20}, {OP_HASH_PLUS, 0x21},
        {OP_PLUS, 0x30},      {OP_NEG, 0x31},      {OP_NOT, 0x32},     {OP_COMPL, 0x33},
        {OP_MUL, 0x40},       {OP_DIV, 0x41},      {OP_MOD, 0x42},     {OP_ADD, 0x50},
        {OP_SUB, 0x51},       {OP_SHL, 0x60},      {OP_SHR, 0x61},     {OP_LT, 0x70},
        {OP_GT, 0x71},        {OP_LE, 0x72},       {OP_GE, 0x73},      {OP_EQ, 0x80},
        {OP_NE, 0x81},        {OP_AND, 0x90},      {OP_XOR, 0xA0},     {OP_OR, 0xB0},
        {OP_LAND, 0xC0},      {OP_LOR, 0xD0},
    };
    for (const auto& [token, value] : tokens) EXPECT_EQ(token, value);
    EXPECT_EQ(precedence_class(EXPR_RPAREN), 1);
    EXPECT_EQ(precedence_class(OP_HASH_PLUS), 2);
    EXPECT_EQ(precedence_class(OP_COMPL), 3);
    EXPECT_EQ(precedence_class(OP_LOR), 13);
    EXPECT_EQ(LOCAL_FLAG, 0x100);
    EXPECT_EQ(TYPE_INT_REF, 0x81);
    EXPECT_EQ(TYPE_STR_REF, 0x83);
}

TEST(Expressions, EveryBinaryOperatorWithAndWithoutBlanks) {
    std::string statements;
    Code expected;
    for (const OperatorForm& op : kBinaryOperators) {
        statements += "    x = a " + std::string(op.source) + " b;\n";
        statements += "    x = a" + std::string(op.source) + "b;\n";
        for (int form = 0; form < 2; ++form)
            expected.assign(kLocalInt, kX).var(kLocalInt, kA).token(op.token).var(kLocalInt, kB).end();
    }
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_of(function_with(statements))), hex(expected.bytes()));
}

TEST(Expressions, TokensStayInSourceOrderWhateverTheirPrecedence) {
    Code expected = assignment_to_x();
    expected.var(kLocalInt, kA).token(OP_ADD).var(kLocalInt, kB).token(OP_MUL).var(kLocalInt, kC);
    EXPECT_EQ(hex(assignment_code("a + b * c")), hex(finish(expected)));

    // One operator of each level, loosest first.
    Code chain = assignment_to_x();
    chain.var(kLocalInt, kA).token(OP_LOR).var(kLocalInt, kB).token(OP_LAND).var(kLocalInt, kC);
    chain.token(OP_OR).var(kLocalInt, kA).token(OP_XOR).var(kLocalInt, kB).token(OP_AND).var(kLocalInt, kC);
    chain.token(OP_EQ).var(kLocalInt, kA).token(OP_LT).var(kLocalInt, kB).token(OP_SHL).var(kLocalInt, kC);
    chain.token(OP_ADD).var(kLocalInt, kA).token(OP_MUL).var(kLocalInt, kB);
    EXPECT_EQ(hex(assignment_code("a || b && c | a ^ b & c == a < b << c + a * b")), hex(finish(chain)));
}

TEST(Expressions, ParenthesesAreKeptAsTokens) {
    // (b + 2) * c
    Code expected = assignment_to_x();
    expected.token(EXPR_LPAREN).var(kLocalInt, kB).token(OP_ADD).constant(2).token(EXPR_RPAREN);
    expected.token(OP_MUL).var(kLocalInt, kC);
    EXPECT_EQ(hex(assignment_code("(b + 2) * c")), hex(finish(expected)));

    Code nested = assignment_to_x();
    nested.token(EXPR_LPAREN).token(EXPR_LPAREN).var(kLocalInt, kA).token(EXPR_RPAREN).token(EXPR_RPAREN);
    EXPECT_EQ(hex(assignment_code("( (a) )")), hex(finish(nested)));
}

TEST(Expressions, PrefixOperatorsStandBeforeTheirOperand) {
    const std::vector<std::pair<std::string_view, std::vector<ExprToken>>> cases = {
        {"+a", {OP_PLUS}},
        {"-a", {OP_NEG}},
        {"!a", {OP_NOT}},
        {"~a", {OP_COMPL}},
        {"#-a", {OP_HASH_MINUS}},
        {"#+a", {OP_HASH_PLUS}},
        {"- #- a", {OP_NEG, OP_HASH_MINUS}},
        {"~#+a", {OP_COMPL, OP_HASH_PLUS}},
    };
    for (const auto& [source, prefixes] : cases) {
        Code expected = assignment_to_x();
        for (const ExprToken t : prefixes) expected.token(t);
        expected.var(kLocalInt, kA);
        EXPECT_EQ(hex(assignment_code(source)), hex(finish(expected))) << source;
    }
}

TEST(Expressions, APrefixAppliesToAParenthesisOrAConstantAfterABinaryOperator) {
    // -(a) * -5
    Code expected = assignment_to_x();
    expected.token(OP_NEG).token(EXPR_LPAREN).var(kLocalInt, kA).token(EXPR_RPAREN);
    expected.token(OP_MUL).token(OP_NEG).constant(5);
    EXPECT_EQ(hex(assignment_code("-(a) * -5")), hex(finish(expected)));
}

TEST(Expressions, ConstantsInThreeBasesWrapAt32Bits) {
    const std::vector<std::pair<std::string_view, std::uint32_t>> cases = {
        {"15", 15},          {"0xf", 15},         {"0XF", 15},
        {"017", 15},         {"0", 0},            {"0x", 0},
        {"0x1f", 31},        {"2147483648", 0x80000000},
        {"4294967295", 0xFFFFFFFF}, {"4294967296", 0},   {"0xFFFFFFFF1", 0xFFFFFFF1},
    };
    for (const auto& [source, value] : cases) {
        Code expected = assignment_to_x();
        expected.constant(value);
        EXPECT_EQ(hex(assignment_code(source)), hex(finish(expected))) << source;
    }
}

TEST(Expressions, GlobalsHaveNoLocalFlagAndALocalHidesAGlobal) {
    const Bytes code = code_of(
        "int g;\n"
        "uint u;\n"
        "f(int p)\n"
        "{\n"
        "    p = g + u;\n"
        "    { uint g; p = g; }\n"
        "}\n");
    Code expected;
    expected.assign(kLocalInt, 0).var(kGlobalInt, 0).token(OP_ADD).var(kGlobalUint, 0).end();
    expected.assign(kLocalInt, 0).var(kLocalUint, 0).end();
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

TEST(Expressions, DefinedNamesStandForNumbersAndVariables) {
    const Bytes code = code_of(
        "#define TEN 0x0A\n"
        "#define FIRST a\n"
        "f(int a) { a = TEN * FIRST; }\n");
    Code expected;
    expected.assign(kLocalInt, 0).constant(10).token(OP_MUL).var(kLocalInt, 0).end().op(OP_RETURN);
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

// --- faulty expressions ----------------------------------------------------

TEST(ExpressionErrors, AMissingClosingParenthesisIsReportedOnce) {
    EXPECT_EQ(errors_of(function_with("    x = (a + b;\n")), error_at(kStatementLine, msg::missing_close_paren));
}

TEST(ExpressionErrors, SplitTwoCharacterOperatorsLeaveAMissingOperand) {
    // "< <" is OP_LT and then no operand; "& &" is OP_AND and then none.
    EXPECT_EQ(errors_of(function_with("    x = a < <b;\n")), error_at(kStatementLine, msg::syntax));
    EXPECT_EQ(errors_of(function_with("    x = a & &b;\n")), error_at(kStatementLine, msg::syntax));
    EXPECT_EQ(errors_of(function_with("    x = a + ;\n")), error_at(kStatementLine, msg::syntax));
}

TEST(ExpressionErrors, OnlyOnePrefixOfEachLevelIsTaken) {
    EXPECT_EQ(errors_of(function_with("    x = - -a;\n")), error_at(kStatementLine, msg::syntax));
    EXPECT_EQ(errors_of(function_with("    x = !!a;\n")), error_at(kStatementLine, msg::syntax));
    EXPECT_EQ(errors_of(function_with("    x = #-#-a;\n")), error_at(kStatementLine, msg::syntax));
    EXPECT_EQ(errors_of(function_with("    x = # a;\n")), error_at(kStatementLine, msg::syntax));
}

TEST(ExpressionErrors, AStringLiteralIsNoOperand) {
    EXPECT_EQ(errors_of(function_with("    x = \"a\";\n")), error_at(kStatementLine, msg::syntax));
}

TEST(ExpressionErrors, BadNumbersAreReportedAndTheExpressionGoesOn) {
    EXPECT_EQ(errors_of(function_with("    x = 09 + a;\n"
                                      "    x = 12ab;\n"
                                      "    x = 0x1g;\n")),
              error_at(6, msg::bad_constant) + error_at(7, msg::bad_constant) + error_at(8, msg::bad_constant));
}

TEST(ExpressionErrors, UnknownNamesStrVariablesAndFunctionNamesAreNoOperands) {
    EXPECT_EQ(errors_of(function_with("    x = nope + 1;\n"
                                      "    x = s;\n"
                                      "    x = a * r;\n"
                                      "    x = f;\n"
                                      "    if (s) { }\n"
                                      "    while (a < r) { }\n")),
              error_at(6, msg::symbol_not_found, name_detail("nope")) + error_at(7, msg::str_in_expression) +
                  error_at(8, msg::str_in_expression) + error_at(9, msg::type_mismatch) +
                  error_at(10, msg::str_in_expression) + error_at(11, msg::str_in_expression));
}

TEST(ExpressionErrors, AnOperandThatIsNoValueEmitsNothingAndTheRestCompiles) {
    // The words written around the faulty operands, in both passes alike.
    TwoPasses passes(function_with("    x = s + f + a;\n"));
    EXPECT_EQ(passes.errors(), 2);
    Code expected = assignment_to_x();
    expected.token(OP_ADD).token(OP_ADD).var(kLocalInt, kA).end().op(OP_RETURN);
    EXPECT_EQ(passes.pass1_code_size(), static_cast<std::int64_t>(expected.here()));
    EXPECT_EQ(passes.pass2_code_size(), passes.pass1_code_size());
}

// Parentheses nest to any depth: they are counted, not recursed into, so a
// long run of '(' can neither exhaust the stack nor be refused.
TEST(ExpressionErrors, ParenthesesNestToAnyDepth) {
    const auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '(') + "a" + std::string(static_cast<std::size_t>(depth), ')');
    };
    constexpr int kDeep = 100000;
    Code deepest = assignment_to_x();
    for (int i = 0; i < kDeep; ++i) deepest.token(EXPR_LPAREN);
    deepest.var(kLocalInt, kA);
    for (int i = 0; i < kDeep; ++i) deepest.token(EXPR_RPAREN);
    EXPECT_EQ(assignment_code(nested(kDeep)), finish(deepest));

    // Unclosed, they are reported once as a missing ')', at the ';' that ends the statement.
    EXPECT_EQ(errors_of(function_with("    x = " + std::string(200000, '(') + "a\n;\n    x = 1;\n")),
              error_at(kStatementLine + 1, msg::missing_close_paren));
}
