// The line table and the names and ranges of a program compiled in memory,
// against listings worked out by hand: every instruction's file and line
// (includes included, a statement spread over lines, the closing brace's
// return), function and variable ranges, and the lookups the tools use.
#include <gtest/gtest.h>

#include "oxdump/module_reader.hpp"
#include "oxrun/run_support.hpp"
#include "sourcemap/source_map.hpp"
#include "support/test_support.hpp"

using namespace oxbuild;
using oxtest::TempDir;
using sourcemap::CompiledSource;
using sourcemap::SourceRange;

namespace {

// The include (oxruntest::kBumpLibrary) defines bump first: function 0.

constexpr std::string_view kMain =
    "int count;\n"               // 1
    "#include \"lib.oxi\"\n"     // 2
    "OnLoad(int & result)\n"     // 3
    "{\n"                        // 4
    "    count = 1;\n"           // 5
    "    bump(\n"                // 6
    "        count, 2);\n"       // 7
    "    while (count < 9) {\n"  // 8
    "        int step;\n"        // 9
    "        step = 2;\n"        // 10
    "        bump(count, step);\n"  // 11
    "    }\n"                    // 12
    "}\n";                       // 13

CompiledSource compile_example(const TempDir& dir) {
    oxtest::write_file(dir / "lib.oxi", oxruntest::kBumpLibrary);
    oxtest::write_file(dir / "prog.oxs", kMain);
    return sourcemap::compile_source(dir / "prog.oxs", "prog.oxs");
}

struct Row {
    std::uint16_t opcode;
    int file, line;
};

}  // namespace

TEST(SourceMap, EveryInstructionHasTheFileAndLineOfItsStatement) {
    TempDir dir;
    const CompiledSource c = compile_example(dir);
    ASSERT_EQ(c.errors, 0) << c.messages;
    const Row expected[] = {
        {OP_ASSIGN, 1, 3}, {OP_RETURN, 1, 4},                                          // bump
        {OP_ASSIGN, 0, 5}, {OP_CALL, 0, 6},    {OP_JUMP_IF_FALSE, 0, 8},               // OnLoad
        {OP_ASSIGN, 0, 10}, {OP_CALL, 0, 11}, {OP_JUMP, 0, 12},    {OP_RETURN, 0, 13},
    };
    const oxdump::Module m = oxdump::read_module(c.module);
    ASSERT_EQ(m.code.size(), std::size(expected));
    ASSERT_EQ(c.map->lines.size(), std::size(expected));
    for (std::size_t k = 0; k < m.code.size(); ++k) {
        SCOPED_TRACE(k);
        const sourcemap::LineRow& row = c.map->lines[k];
        EXPECT_EQ(row.address, m.code[k].address);
        EXPECT_EQ(m.code[k].opcode, expected[k].opcode);
        EXPECT_EQ(row.file, expected[k].file);
        EXPECT_EQ(row.line, expected[k].line);
    }
    EXPECT_EQ(c.map->place_of(m.code[3].address), "prog.oxs(6)");
    EXPECT_EQ(c.map->place_of(m.code[0].address), "lib.oxi(3)");
    EXPECT_EQ(c.map->place_of(m.code[0].address + 1), "");
    EXPECT_EQ(c.map->row_holding(m.code[0].address + 1), &c.map->lines[0]);
}

TEST(SourceMap, FunctionsAndVariablesReachFromTheirNamesToTheEndOfTheirScopes) {
    TempDir dir;
    const CompiledSource c = compile_example(dir);
    ASSERT_EQ(c.errors, 0) << c.messages;
    ASSERT_EQ(c.map->files.size(), 2u);
    EXPECT_EQ(c.map->files[1].name, "lib.oxi");
    EXPECT_EQ(c.map->files[1].line_text(3), "    n = n + by;");
    ASSERT_EQ(c.map->functions.size(), 2u);
    EXPECT_EQ(c.map->functions[0].name, "bump");
    EXPECT_EQ(c.map->functions[1].name, "OnLoad");
    const auto same = [](const SourceRange& a, const SourceRange& b) {
        return a.file == b.file && a.first_line == b.first_line && a.last_line == b.last_line;
    };
    EXPECT_TRUE(same(c.map->functions[0].range, {1, 1, 4}));
    EXPECT_TRUE(same(c.map->functions[1].range, {0, 3, 13}));
    struct Variable {
        std::string_view name;
        int function;
        bool parameter;
        SourceRange range;
    };
    const Variable expected[] = {
        {"count", -1, false, {0, 1, 13}}, {"n", 0, true, {1, 1, 4}},     {"by", 0, true, {1, 1, 4}},
        {"result", 1, true, {0, 3, 13}},  {"step", 1, false, {0, 9, 12}},
    };
    ASSERT_EQ(c.map->variables.size(), std::size(expected));
    for (std::size_t k = 0; k < std::size(expected); ++k) {
        SCOPED_TRACE(expected[k].name);
        const sourcemap::VariableInfo& v = c.map->variables[k];
        EXPECT_EQ(v.name, expected[k].name);
        EXPECT_EQ(v.function, expected[k].function);
        EXPECT_EQ(v.parameter, expected[k].parameter);
        EXPECT_TRUE(same(v.range, expected[k].range))
            << v.range.file << ' ' << v.range.first_line << '-' << v.range.last_line;
    }
    EXPECT_EQ(c.map->global_name(TYPE_INT, 0), "count");
    EXPECT_EQ(c.map->local_name(0, TYPE_INT, 0), "by");
    EXPECT_EQ(c.map->local_name(0, TYPE_INT_REF, 0), "n");
    EXPECT_EQ(c.map->local_name(1, TYPE_INT, 1), std::nullopt);
}

// Breakpoints move to the next line with code; a line past the last
// statement has none; files are found by name or path.
TEST(SourceMap, LinesWithCodeAndFiles) {
    TempDir dir;
    const CompiledSource c = compile_example(dir);
    ASSERT_EQ(c.errors, 0) << c.messages;
    EXPECT_EQ(c.map->line_with_code(0, 1), 5);
    EXPECT_EQ(c.map->line_with_code(0, 7), 8);
    EXPECT_EQ(c.map->line_with_code(0, 9), 10);
    EXPECT_EQ(c.map->line_with_code(0, 14), std::nullopt);
    EXPECT_EQ(c.map->line_with_code(1, 1), 3);
    EXPECT_EQ(c.map->addresses_of(0, 12).size(), 1u);
    EXPECT_TRUE(c.map->addresses_of(0, 9).empty());
    EXPECT_EQ(c.map->file_named("lib.oxi"), 1);
    EXPECT_EQ(c.map->file_named(dir / "lib.oxi"), 1);
    EXPECT_EQ(c.map->file_named(dir / "prog.oxs"), 0);
    EXPECT_EQ(c.map->file_named(dir / "other.oxs"), std::nullopt);
}

TEST(SourceMap, AModuleMatchesOnlyItsOwnSource) {
    TempDir dir;
    const CompiledSource c = compile_example(dir);
    ASSERT_EQ(c.errors, 0) << c.messages;
    EXPECT_TRUE(sourcemap::same_module(c, c.module));
    std::vector<std::uint8_t> changed = c.module;
    changed.back() ^= 1;
    EXPECT_FALSE(sourcemap::same_module(c, changed));
    changed.pop_back();
    EXPECT_FALSE(sourcemap::same_module(c, changed));
}
