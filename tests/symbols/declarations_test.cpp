// Declarations, prototypes and function definitions: what they declare and
// number, parameter lists, prototype comparison (events and standard
// functions included), and their messages.
#include <gtest/gtest.h>

#include "support/code_builder.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

constexpr std::size_t kFirstDescriptor = 276;  // with one user function

struct ParameterWords {
    std::uint16_t type_word;
    std::uint16_t slot_word;
    bool operator==(const ParameterWords&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ParameterWords& p) {
    return os << std::hex << "{0x" << p.type_word << ", 0x" << p.slot_word << "}";
}

// The parameter descriptors of the function whose descriptor is at offset r.
std::vector<ParameterWords> parameters_at(const Bytes& module, std::size_t r) {
    const std::uint32_t n = dword_at(module, r + format::kDescriptorParameterCount);
    std::vector<ParameterWords> parameters;
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::uint32_t at = dword_at(module, r + format::kDescriptorFixedSize + 4 * k);
        parameters.push_back({word_at(module, at), word_at(module, at + 2)});
    }
    return parameters;
}

std::string parameter_list(int count) {
    std::string list;
    for (int i = 0; i < count; ++i) list += (i ? ", int p" : "int p") + std::to_string(i);
    return list;
}

}  // namespace

// --- variable declarations -------------------------------------------------

TEST(VariableDeclarations, ListsDeclareEachNameInOrder) {
    const Bytes module = compile_ok(
        "int a, b, c;\n"
        "int;\n"
        "str s;\n"
        "f() { c = a; }\n");
    EXPECT_EQ(dword_at(module, format::kGlobalCountFields), 3u);
    EXPECT_EQ(dword_at(module, format::kGlobalCountFields + 8), 1u);
    Code expected;
    expected.assign(kGlobalInt, 2).var(kGlobalInt, 0).end().op(OP_RETURN);
    EXPECT_EQ(hex(code_area(module)), hex(expected.bytes()));
}

TEST(VariableDeclarations, ARefusedNameIsSkippedAndTheListGoesOn) {
    TwoPasses passes(
        "int if, x, 9a, y;\n"
        "f() { y = x; }\n");
    EXPECT_EQ(passes.out(), error_at(1, msg::reserved_word, name_detail("if")) +
                                error_at(1, msg::name_not_letter, name_detail("9a")));
    EXPECT_EQ(passes.compiler().run.global_counts[0], 2);
    EXPECT_EQ(passes.pass2_code_size(), passes.pass1_code_size());
}

TEST(VariableDeclarations, AnythingButACommaOrSemicolonAfterANameIsASyntaxError) {
    // The name before the fault is declared all the same: no later message.
    EXPECT_EQ(errors_of("int a b;\n"
                        "int c = 1;\n"
                        "int d,;\n"
                        "f() { a = c; c = d; }\n"),
              error_at(1, msg::syntax) + error_at(2, msg::syntax) + error_at(3, msg::syntax));
}

TEST(VariableDeclarations, ALocalNamedLikeAParameterAtTheTopOfTheBodyIsADuplicate) {
    EXPECT_EQ(errors_of("f(int a)\n"
                        "{\n"
                        "    int a;\n"
                        "    { int a; }\n"
                        "}\n"),
              error_at(3, msg::already_defined, name_detail("a")));
}

// --- parameter lists -------------------------------------------------------

TEST(ParameterLists, BareNamesAreIntParameters) {
    const Bytes module = compile_ok("f(a, b) { b = a; }\n");
    EXPECT_EQ(parameters_at(module, kFirstDescriptor),
              (std::vector<ParameterWords>{{kLocalInt, 0}, {kLocalInt, 1}}));
    Code expected;
    expected.assign(kLocalInt, 1).var(kLocalInt, 0).end().op(OP_RETURN);
    EXPECT_EQ(hex(code_area(module)), hex(expected.bytes()));
}

TEST(ParameterLists, UnnamedAndByReferenceParameters) {
    const Bytes module = compile_ok("f(int, str &, uint & u, str&s, int) { }\n");
    EXPECT_EQ(parameters_at(module, kFirstDescriptor),
              (std::vector<ParameterWords>{{kLocalInt, UNNAMED_PARAMETER_SLOT},
                                           {kLocalStrRef, UNNAMED_PARAMETER_SLOT},
                                           {kLocalUintRef, 0},
                                           {kLocalStrRef, 0},
                                           {kLocalInt, UNNAMED_PARAMETER_SLOT}}));
    EXPECT_EQ(UNNAMED_PARAMETER_SLOT, 0xFFFF);
}

TEST(ParameterLists, AParameterNamedLikeAGlobalHidesIt) {
    const Bytes code = code_of("int a;\nf(uint a) { a = 1; }\n");
    EXPECT_EQ(hex(code), hex(Code().assign(kLocalUint, 0).constant(1).end().op(OP_RETURN).bytes()));
}

TEST(ParameterLists, TwoParametersOfOneNameAreReported) {
    EXPECT_EQ(errors_of("h(int a, int a) { }\n"), error_at(1, msg::already_defined, name_detail("a")));
}

TEST(ParameterLists, TwoHundredFiftySixParametersAreAllowed) {
    const Bytes module = compile_ok("f(" + parameter_list(256) + ") { p255 = p0; }\n");
    const auto parameters = parameters_at(module, kFirstDescriptor);
    ASSERT_EQ(parameters.size(), 256u);
    EXPECT_EQ(parameters[255], (ParameterWords{kLocalInt, 255}));
    EXPECT_EQ(code_base(module), kFirstDescriptor + 32 + 8 * 256);
    Code expected;
    expected.assign(kLocalInt, 255).var(kLocalInt, 0).end().op(OP_RETURN);
    EXPECT_EQ(hex(code_area(module)), hex(expected.bytes()));
}

TEST(ParameterLists, The257thParameterIsReportedOnce) {
    TwoPasses passes("f(" + parameter_list(258) + ") { p257 = 1; }\n");
    EXPECT_EQ(passes.out(), error_at(1, msg::too_many_arguments));
    EXPECT_EQ(passes.compiler().run.functions.find("f")->parameter_count, 256u);
    EXPECT_EQ(passes.pass2_code_size(), passes.pass1_code_size());
}

TEST(ParameterLists, MalformedListsAreSyntaxErrors) {
    EXPECT_EQ(errors_of("f(&x);\n"
                        "g(int a,, int b);\n"
                        "h(int a b);\n"
                        "k() x;\n"
                        "m = 1;\n"
                        "int ok;\n"
                        "n() { ok = 1; }\n"),
              error_at(1, msg::syntax) + error_at(2, msg::syntax) + error_at(3, msg::syntax) +
                  error_at(4, msg::syntax) + error_at(5, msg::syntax));
}

// --- prototypes and definitions --------------------------------------------

TEST(Prototypes, ADefinitionMatchingItsPrototypeIsSilent) {
    const Bytes module = compile_ok(
        "g(int, str &);\n"
        "g(int n, str &t) { }\n"
        "g(int x, str &y);\n");
    EXPECT_EQ(parameters_at(module, kFirstDescriptor),
              (std::vector<ParameterWords>{{kLocalInt, 0}, {kLocalStrRef, 0}}));
}

TEST(Prototypes, DifferentTypesOrCountsAreRedeclarationsAndStillCompile) {
    EXPECT_EQ(errors_of("g(int, str &);\n"
                        "g(int n, str t) { t = n; }\n"
                        "g(int n, str &t, int m);\n"
                        "g(uint n, str &t);\n"),
              error_at(2, msg::redeclared_type, name_detail("g")) + error_at(2, msg::str_in_expression) +
                  error_at(3, msg::redeclared_type, name_detail("g")) +
                  error_at(4, msg::redeclared_type, name_detail("g")));
}

TEST(Prototypes, EventHandlersMustMatchTheEventsParameters) {
    compile_ok(
        "OnLoad(int &result) { }\n"
        "OnClick(int x, int y, int k) { }\n"
        "OnMenuItemSelected(a, b) { }\n");
    EXPECT_EQ(errors_of("OnLoad() { }\n"
                        "OnUnload(int a) { }\n"
                        "OnClick(int x, int y) { }\n"
                        "OnTargetChanging(int &t) { }\n"
                        "OnDblClick(int x, int y, uint k) { }\n"),
              error_at(1, msg::redeclared_type, name_detail("OnLoad")) +
                  error_at(2, msg::redeclared_type, name_detail("OnUnload")) +
                  error_at(3, msg::redeclared_type, name_detail("OnClick")) +
                  error_at(4, msg::redeclared_type, name_detail("OnTargetChanging")) +
                  error_at(5, msg::redeclared_type, name_detail("OnDblClick")));
}

TEST(Prototypes, AFunctionNamedLikeAGlobalIsRefusedAndItsBraceIsLeftOver) {
    // The refused statement ends after ')'; the '{' then opens no block at
    // the top level, and the skip past the next ';' takes the '}' with it.
    EXPECT_EQ(errors_of("int x;\n"
                        "x(int a) { }\n"
                        "int y;\n"),
              error_at(2, msg::already_defined, name_detail("x")) + error_at(2, msg::syntax));
}

// A second definition is reported at its '{' and its body compiled as usual.
TEST(Definitions, ASecondDefinitionIsReportedAtItsBrace) {
    EXPECT_EQ(errors_of("f() { }\n"
                        "f();\n"
                        "f()\n"
                        "{\n"
                        "    int t;\n"
                        "    t = 1;\n"
                        "}\n"),
              error_at(4, msg::already_defined, name_detail("f")));
    EXPECT_EQ(errors_of("f() { }\n"
                        "f(int a)\n"
                        "{\n"
                        "    a = 1;\n"
                        "}\n"),
              error_at(2, msg::redeclared_type, name_detail("f")) + error_at(3, msg::already_defined, name_detail("f")));
}

TEST(Definitions, AStandardFunctionsNameGetsOnlyItsOwnMessage) {
    EXPECT_EQ(errors_of("SetField(int a, int b, int c, int d)\n"
                        "{\n"
                        "    a = b;\n"
                        "}\n"
                        "SetField(int a, int b, int c, int d)\n"
                        "{\n"
                        "}\n"
                        "Beep(int a)\n"
                        "{\n"
                        "}\n"),
              error_at(2, msg::standard_function_name, name_detail("SetField")) +
                  error_at(6, msg::standard_function_name, name_detail("SetField")) +
                  error_at(8, msg::redeclared_type, name_detail("Beep")) +
                  error_at(9, msg::standard_function_name, name_detail("Beep")));
}

TEST(Definitions, APrototypeWithAStandardFunctionsNameAndTypesIsSilent) {
    compile_ok("Beep(int a, int b);\nstrcpy(str &d, str s);\n");
    EXPECT_EQ(errors_of("Beep(int a);\n"), error_at(1, msg::redeclared_type, name_detail("Beep")));
}
