// #define: one level of word substitution wherever words are read, and the
// redefinition warning.
#include <gtest/gtest.h>

#include "format/bytecode.hpp"
#include "format/module_format.hpp"
#include "support/resource_files.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

const std::string kProg = "prog.oxs";
constexpr std::size_t kGlobalIntCount = 220;
constexpr std::size_t kFirstMenuNumber = 20;  // in the menu section of a module with one menu

std::string redefined_warning(int line, std::string_view name) {
    return kProg + "(" + std::to_string(line) + "):" + std::string(msg::warning.cp932) +
           std::string(msg::redefined.cp932) + std::string(name) + "\n";
}

}  // namespace

TEST(Define, SubstitutesKeywordsNumbersAndDirectiveNames) {
    const Compiled result = compile_source(
        "#define integer int\n"
        "#define LIMIT 0x20\n"
        "#define title module\n"
        "integer count;\n"
        "#title \"named\"\n"
        "#menu LIMIT { }\n"
        "OnLoad(int &r) { count = LIMIT; }\n");
    ASSERT_EQ(result.out, created_output());
    EXPECT_EQ(dword_at(result.module, kGlobalIntCount), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&result.module[format::kTextFieldOffsets[0]])), "named");
    EXPECT_EQ(word_at(menu_section(result.module), kFirstMenuNumber), 0x20u);
    ByteWriter code;
    code.word(OP_ASSIGN).word(TYPE_INT).word(0).word(EXPR_CONST).dword(0x20).word(EXPR_END).word(OP_RETURN);
    EXPECT_EQ(hex(code_area(result.module)), hex(code.get()));
}

TEST(Define, ReplacementIsNotLookedUpAgain) {
    // A stands for count, not for 5; count itself is declared before its define.
    const Compiled result = compile_source(
        "int count;\n"
        "#define A count\n"
        "#define count 5\n"
        "OnLoad(int &r) { A = 1; }\n");
    ASSERT_EQ(result.out, created_output());
    ByteWriter code;
    code.word(OP_ASSIGN).word(TYPE_INT).word(0).word(EXPR_CONST).dword(1).word(EXPR_END).word(OP_RETURN);
    EXPECT_EQ(hex(code_area(result.module)), hex(code.get()));
}

TEST(Define, RedefinitionWarnsOnceAndTheModuleIsStillCreated) {
    const Compiled result = compile_source(
        "#define A A\n"
        "#define A 3\n"     // A stood for itself: no warning
        "#define B 2\n"
        "#define B 3\n"
        "#menu B { }\n");
    EXPECT_EQ(result.out, redefined_warning(4, "B") + created_output());
    EXPECT_EQ(word_at(menu_section(result.module), kFirstMenuNumber), 3u);
}

TEST(Define, NamesAreCutTo32Characters) {
    const std::string name32(32, 'N');
    const Compiled result = compile_source("#define " + name32 + "_first 7\n#menu " + name32 + "_second { }\n");
    ASSERT_EQ(result.out, created_output());
    EXPECT_EQ(word_at(menu_section(result.module), kFirstMenuNumber), 7u);
}

TEST(Define, NameAndReplacementMustBeWords) {
    // "-1" is no word: the replacement is empty, and "-1" is then text left
    // on the line.
    EXPECT_EQ(compile_source("#define X -1\n#define\n#define Y\n").out,
              failed_output(error_line(kProg, 1, msg::syntax) + error_line(kProg, 1, msg::syntax) +
                                error_line(kProg, 2, msg::syntax) + error_line(kProg, 3, msg::syntax),
                            4));
}
