// Call statements with every argument form, and assignments: their code
// and the messages of faulty calls and targets.
#include <gtest/gtest.h>

#include "support/code_builder.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

// Standard-function numbers used below.
constexpr std::uint16_t kSetField = 0x01;
constexpr std::uint16_t kClearPattern = 0x10;
constexpr std::uint16_t kMessageBox = 0x40;
constexpr std::uint16_t kStrcpy = 0x80;

// The code of statements in f(), whose local str s has slot 0; the globals
// are int g (slot 0) and str t0, t1, t (slots 0 to 2).
Bytes code_in_function(std::string_view statements) {
    return code_of("int g;\nstr t0, t1, t;\nf()\n{\n    str s;\n" + std::string(statements) + "}\n");
}

// The words of strcpy(s, "...") up to the literal's bytes.
Code strcpy_literal() {
    Code code;
    code.call_standard(kStrcpy).ref(kLocalStr, 0).token(EXPR_STRING);
    return code;
}

}  // namespace

// --- call encodings --------------------------------------------------------

TEST(Calls, ACallWithoutParametersIsThreeWords) {
    EXPECT_EQ(hex(code_in_function("    ClearPattern();\n")),
              hex(Code().call_standard(kClearPattern).op(OP_RETURN).bytes()));
}

TEST(Calls, IntArgumentsAreExpressionsEndedByExprEnd) {
    Code expected;
    expected.call_standard(kSetField);
    expected.constant(1).end().constant(2).end().constant(3).end();
    expected.var(kGlobalInt, 0).token(OP_ADD).constant(4).end();
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_in_function("    SetField(1, 2, 3, g + 4);\n")), hex(expected.bytes()));
}

TEST(Calls, MessageBoxWithALiteralANumberAndAReference) {
    Code expected;
    expected.call_standard(kMessageBox);
    expected.token(EXPR_STRING).text("Hi").byte(0).byte(0);  // two bytes, zero, padding
    expected.constant(0).end();
    expected.ref(kGlobalInt, 0);                            // by reference: no leading token
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_in_function("    MessageBox(\"Hi\", 0, g);\n")), hex(expected.bytes()));
}

TEST(Calls, StrcpyWithALocalAndAGlobalStr) {
    Code expected;
    expected.call_standard(kStrcpy).ref(kLocalStr, 0).var(kGlobalStr, 2).op(OP_RETURN);
    EXPECT_EQ(hex(code_in_function("    strcpy(s, t);\n")), hex(expected.bytes()));
}

TEST(Calls, StringLiteralsArePaddedToAnEvenSize) {
    const std::vector<std::pair<std::string_view, Bytes>> cases = {
        {"\"\"", {0, 0}},                 // 4 bytes with the token
        {"\"x\"", {'x', 0}},              // 4
        {"\"xy\"", {'x', 'y', 0, 0}},     // 6
        {"\"xyz\"", {'x', 'y', 'z', 0}},  // 6
    };
    for (const auto& [literal, bytes] : cases) {
        Code expected = strcpy_literal();
        for (const unsigned char b : bytes) expected.byte(b);
        expected.op(OP_RETURN);
        EXPECT_EQ(hex(code_in_function("    strcpy(s, " + std::string(literal) + ");\n")), hex(expected.bytes()))
            << literal;
    }
}

TEST(Calls, AdjacentLiteralsAreJoinedAcrossBlanksLinesAndComments) {
    Code expected = strcpy_literal();
    expected.text("abcd").byte(0).byte(0).op(OP_RETURN);
    EXPECT_EQ(hex(code_in_function("    strcpy(s, \"a\" \"b\"\n\t\"c\" /* x */ \"d\");\n")), hex(expected.bytes()));
}

TEST(Calls, AnEscapedZeroEndsTheLiteral) {
    Code expected = strcpy_literal();
    expected.text("ab").byte(0).byte(0).op(OP_RETURN);
    EXPECT_EQ(hex(code_in_function("    strcpy(s, \"ab\\x0 cd\");\n")), hex(expected.bytes()));
}

TEST(Calls, ALiteralOf255BytesFits) {
    const std::string text(255, 'q');
    Code expected = strcpy_literal();
    expected.text(text).byte(0).op(OP_RETURN);
    EXPECT_EQ(hex(code_in_function("    strcpy(s, \"" + text + "\");\n")), hex(expected.bytes()));
}

TEST(Calls, ALongerLiteralIsReportedAndCut) {
    // 250 + 6 bytes joined: the first 255 are written, in both passes alike.
    TwoPasses passes("f()\n{\n    str s;\n    strcpy(s, \"" + std::string(250, 'q') + "\"\n  \"rrrrrr\");\n}\n");
    EXPECT_EQ(passes.out(), error_line("prog.oxs", 5, msg::string_over_255));
    Code expected = strcpy_literal();
    expected.text(std::string(250, 'q') + "rrrrr").byte(0).op(OP_RETURN);
    EXPECT_EQ(passes.pass1_code_size(), static_cast<std::int64_t>(expected.here()));
    EXPECT_EQ(passes.pass2_code_size(), passes.pass1_code_size());
}

TEST(Calls, ArgumentsByReferenceAndStrVariablesByValue) {
    const Bytes code = code_of(
        "str gs;\n"
        "uint gu;\n"
        "p(uint &u, int &i, str &s, str v);\n"
        "q(int &r, str &rs)\n"
        "{\n"
        "    int n;\n"
        "    p(n, gu, gs, rs);\n"
        "    p(r, r, rs, gs);\n"
        "}\n"
        "p(uint &u, int &i, str &s, str v) { }\n");
    Code expected;
    // int to uint&, uint to int&, a global str to str&, a str& parameter by value
    expected.call_user(1).ref(kLocalInt, 0).ref(kGlobalUint, 0).ref(kGlobalStr, 0).var(kLocalStrRef, 0);
    // the caller's own by-reference parameters passed on
    expected.call_user(1).ref(kLocalIntRef, 0).ref(kLocalIntRef, 0).ref(kLocalStrRef, 0).var(kGlobalStr, 0);
    expected.op(OP_RETURN);  // q
    expected.op(OP_RETURN);  // p
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

TEST(Calls, AUserFunctionIsCalledByItsPositionAmongTheDefinitions) {
    const Bytes code = code_of(
        "f(int a);\n"
        "h();\n"
        "g() { f(1); h(); }\n"
        "h() { }\n"
        "f(int a) { }\n");
    Code expected;
    expected.call_user(2).constant(1).end().call_user(1).op(OP_RETURN);  // g
    expected.op(OP_RETURN);                                              // h
    expected.op(OP_RETURN);                                              // f
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

TEST(Calls, AnEventHandlerCanBeCalledAsAUserFunction) {
    const Bytes code = code_of(
        "OnClick(int x, int y, int k) { }\n"
        "f() { OnClick(1, 2, 3); }\n");
    Code expected;
    expected.op(OP_RETURN);
    expected.call_user(0).constant(1).end().constant(2).end().constant(3).end().op(OP_RETURN);
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

TEST(Calls, AFunctionWithoutABodyIsReportedOnceByPass2) {
    EXPECT_EQ(errors_of("f(int a);\n"
                        "g()\n"
                        "{\n"
                        "    f(1);\n"
                        "    OnClick(1, 2, 3);\n"
                        "}\n"),
              error_at(4, msg::no_function_body, name_detail("f")) +
                  error_at(5, msg::no_function_body, name_detail("OnClick")));
}

// --- faulty calls ----------------------------------------------------------

TEST(CallErrors, ArgumentsOfTheWrongTypeAreNumbered) {
    EXPECT_EQ(errors_of("f(int n, int m, str s)\n"
                        "{\n"
                        "    strlen(n, m);\n"
                        "    strcpy(n, s);\n"
                        "    strcpy(s, f);\n"
                        "    GetBasePoint(f);\n"
                        "    GetBasePoint(s);\n"
                        "    Random(1, 2, s);\n"
                        "}\n"),
              error_at(3, msg::type_mismatch, argument_detail(2)) + error_at(4, msg::type_mismatch, argument_detail(1)) +
                  error_at(5, msg::type_mismatch, argument_detail(2)) +
                  error_at(6, msg::type_mismatch, argument_detail(1)) +
                  error_at(7, msg::type_mismatch, argument_detail(1)) +
                  error_at(8, msg::type_mismatch, argument_detail(3)));
}

TEST(CallErrors, ANumberWhereAVariableIsExpectedIsAnUnknownName) {
    EXPECT_EQ(errors_of("f(int n)\n"
                        "{\n"
                        "    strlen(n, 5);\n"
                        "    GetBasePoint(5);\n"
                        "    GetBasePoint(nope);\n"
                        "    SetField(n, nope, 3, 4);\n"
                        "}\n"),
              error_at(3, msg::symbol_not_found, name_detail("5")) +
                  error_at(4, msg::symbol_not_found, name_detail("5")) +
                  error_at(5, msg::symbol_not_found, name_detail("nope")) +
                  error_at(6, msg::symbol_not_found, name_detail("nope")));
}

TEST(CallErrors, TooFewAndTooManyArgumentsNameTheFirstMissingOrExtraOne) {
    EXPECT_EQ(errors_of("f()\n"
                        "{\n"
                        "    SetField(1, 2);\n"
                        "    Beep(1, 2, 3);\n"
                        "    ClearPattern(1);\n"
                        "    SetField(1, 2, 3, 4);\n"
                        "}\n"),
              error_at(3, msg::too_few_arguments, argument_detail(3)) +
                  error_at(4, msg::too_many_arguments, argument_detail(3)) +
                  error_at(5, msg::too_many_arguments, argument_detail(1)));
}

TEST(CallErrors, ANameWithoutAPrototypeWritesNothing) {
    TwoPasses passes("f()\n{\n    Undefined(1);\n    g(2);\n}\ng(int a) { }\n");
    EXPECT_EQ(passes.out(), error_at(3, msg::no_prototype, name_detail("Undefined")) +
                                error_at(4, msg::no_prototype, name_detail("g")));
    EXPECT_EQ(passes.pass1_code_size(), 4);  // two OP_RETURNs
    EXPECT_EQ(passes.pass2_code_size(), passes.pass1_code_size());
}

TEST(CallErrors, BadSeparatorsAreSyntaxErrors) {
    EXPECT_EQ(errors_of("int g;\n"
                        "f()\n"
                        "{\n"
                        "    str s;\n"
                        "    SetField(1 2, 3, 4);\n"
                        "    strcpy(s, \"x\" g);\n"
                        "    strcpy(, s);\n"
                        "    g 1;\n"
                        "}\n"),
              error_at(5, msg::syntax) + error_at(6, msg::syntax) + error_at(7, msg::syntax) + error_at(8, msg::syntax));
}

TEST(CallErrors, AFaultyIntArgumentStillEndsWithExprEnd) {
    TwoPasses passes("f()\n{\n    SetField(nope, 2 + , 3, 4);\n}\n");
    EXPECT_EQ(passes.out(), error_at(3, msg::symbol_not_found, name_detail("nope")) + error_at(3, msg::syntax));
    Code expected;
    expected.call_standard(kSetField);
    expected.end();                                   // nothing for nope
    expected.constant(2).token(OP_ADD).end();         // the operand that is missing
    expected.constant(3).end().constant(4).end();
    expected.op(OP_RETURN);
    EXPECT_EQ(passes.pass1_code_size(), static_cast<std::int64_t>(expected.here()));
    EXPECT_EQ(passes.pass2_code_size(), passes.pass1_code_size());
}

// --- assignments -----------------------------------------------------------

TEST(Assignments, ALocalFromAnExpression) {
    Code expected;
    expected.assign(kLocalInt, 0).var(kLocalInt, 1).token(OP_ADD).constant(1).end().op(OP_RETURN);
    EXPECT_EQ(hex(code_of("f() { int x, y; x = y + 1; }\n")), hex(expected.bytes()));
}

TEST(Assignments, ByReferenceParametersCanBeAssigned) {
    Code expected;
    expected.assign(kLocalIntRef, 0).constant(1).end();
    expected.assign(kLocalUintRef, 0).var(kLocalIntRef, 0).end();
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_of("f(int &a, uint &b) { a = 1; b = a; }\n")), hex(expected.bytes()));
}

TEST(Assignments, FaultyTargetsAreReportedAndTheExpressionStillCompiled) {
    EXPECT_EQ(errors_of("f(str &r)\n"
                        "{\n"
                        "    str s;\n"
                        "    int x;\n"
                        "    s = r;\n"
                        "    r = 1;\n"
                        "    5 = nope;\n"
                        "    nope = x;\n"
                        "    f = nope;\n"
                        "}\n"),
              error_at(5, msg::str_in_expression) + error_at(5, msg::str_in_expression) +
                  error_at(6, msg::str_in_expression) + error_at(7, msg::bad_assignment_target) +
                  error_at(7, msg::symbol_not_found, name_detail("nope")) +
                  error_at(8, msg::symbol_not_found, name_detail("nope")) + error_at(9, msg::type_mismatch) +
                  error_at(9, msg::symbol_not_found, name_detail("nope")));
}

TEST(Assignments, AFaultyTargetWritesNothingButTheExpressionIsWritten) {
    TwoPasses passes("f() { int x; nope = 1 + x; f = x; }\n");
    EXPECT_EQ(passes.errors(), 2);
    Code expected;
    expected.constant(1).token(OP_ADD).var(kLocalInt, 0).end();
    expected.var(kLocalInt, 0).end();
    expected.op(OP_RETURN);
    EXPECT_EQ(passes.pass1_code_size(), static_cast<std::int64_t>(expected.here()));
    EXPECT_EQ(passes.pass2_code_size(), passes.pass1_code_size());
}

TEST(Assignments, OnlyPlainAssignmentInsideAFunction) {
    EXPECT_EQ(errors_of("int x;\n"
                        "x = 1;\n"
                        "f()\n"
                        "{\n"
                        "    x += 1;\n"
                        "    x == 1;\n"
                        "    x = (1;\n"
                        "    x = 2;\n"
                        "}\n"),
              error_at(2, msg::syntax) + error_at(5, msg::syntax) + error_at(6, msg::syntax) +
                  error_at(7, msg::missing_close_paren));
}

// Call numbers are 16 bits: calling user function 65536 as number 0 would
// run another function, so the module is not written.
TEST(CallErrors, AUserFunctionIndexBeyondTheCallNumberWordEndsInTheFatalStop) {
    constexpr int kFunctions = 65537;
    std::string source = "caller();\n";
    for (int i = 0; i < kFunctions; ++i) source.append("f").append(std::to_string(i)).append("(){}\n");
    const Compiled result = compile_source(source + "caller() { f65536(); }\n");
    EXPECT_EQ(result.out, "   Fatal Error\n");
    EXPECT_FALSE(result.module_exists);
}
