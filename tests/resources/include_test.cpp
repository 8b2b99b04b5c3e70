// #include: where include files are found, how nested and repeated includes
// compile, how their errors are reported, and the nesting limit.
#include <gtest/gtest.h>

#include <filesystem>

#include "format/bytecode.hpp"
#include "driver/command_line.hpp"
#include "format/module_format.hpp"
#include "support/resource_files.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

const std::string kProg = "prog.oxs";
constexpr int kDeepestNesting = 64;

std::string field_text(const Bytes& module, std::size_t offset) {
    std::string text;
    for (std::size_t at = offset; module[at] != 0; ++at) text += static_cast<char>(module[at]);
    return text;
}

// d1.oxh includes d2.oxh and so on up to d<last>.oxh, which sets the module
// name; the main source includes d1.oxh.
std::string chain_file(int k) { return std::string("d").append(std::to_string(k)).append(".oxh"); }

void write_include_chain(const TempDir& dir, int last) {
    for (int k = 1; k < last; ++k)
        write_file(dir / chain_file(k), std::string("#include \"").append(chain_file(k + 1)).append("\"\n"));
    write_file(dir / chain_file(last), std::string_view("#module \"deepest\"\n"));
}

}  // namespace

TEST(Include, RelativeNamesAreTakenFromTheMainSourcesDirectory) {
    TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir / "src/inc");
    write_file(dir / "src/prog.oxs", std::string_view("#include \"top.oxh\"\n#include \"inc\\nested.oxh\"\n"));
    write_file(dir / "src/top.oxh", std::string_view("#module \"top\"\n"));
    // Inside src/inc/nested.oxh, "more.oxh" and "beep.wav" are still taken
    // from src/, not from src/inc/.
    write_file(dir / "src/inc/nested.oxh", std::string_view("#include \"more.oxh\"\n#wave 1 \"beep.wav\"\n"));
    write_file(dir / "src/more.oxh", std::string_view("#version \"more\"\n"));
    write_file(dir / "src/beep.wav", make_wave({0x80, 0x90}));
    // Decoys where a wrong rule would look.
    write_file(dir / "top.oxh", std::string_view("#module \"decoy\"\n"));
    write_file(dir / "src/inc/more.oxh", std::string_view("#version \"decoy\"\n"));

    const RunResult run = run_binary({"src/prog.oxs"}, dir.path().string());
    ASSERT_EQ(run.out, std::string(kBanner) + created_output("src/prog.oxb"));
    const Bytes module = read_file(dir / "src/prog.oxb");
    EXPECT_EQ(field_text(module, format::kTextFieldOffsets[0]), "top");
    EXPECT_EQ(field_text(module, format::kTextFieldOffsets[2]), "more");
    EXPECT_EQ(dword_at(wave_section(module), 0), 1u);
}

TEST(Include, EveryCopyOfARepeatedIncludeGetsItsOwnBlocks) {
    TempDir dir;
    write_file(dir / "step.oxh", std::string_view("if (n > 0) {\n    n = n - 1;\n}\n"));
    write_file(dir / "again.oxh", std::string_view("#include \"step.oxh\"\n"));
    // step.oxh is read as include file 1 and, through again.oxh (2), as 3:
    // the same source positions under two file numbers.
    const Compiled result = compile_in(dir, "f(int n)\n{\n#include \"step.oxh\"\n#include \"again.oxh\"\n}\n");
    ASSERT_EQ(result.out, created_output());
    const std::uint32_t base = code_base(result.module);
    ASSERT_EQ(base, 316u);
    const std::uint16_t n = LOCAL_FLAG | TYPE_INT;
    ByteWriter code;
    for (const std::uint32_t end : {44u, 88u}) {
        code.word(OP_JUMP_IF_FALSE).word(EXPR_VAR).word(n).word(0).word(OP_GT).word(EXPR_CONST).dword(0);
        code.word(EXPR_END).dword(base + end);
        code.word(OP_ASSIGN).word(n).word(0).word(EXPR_VAR).word(n).word(0).word(OP_SUB).word(EXPR_CONST).dword(1);
        code.word(EXPR_END);
    }
    code.word(OP_RETURN);
    EXPECT_EQ(hex(code_area(result.module)), hex(code.get()));
}

TEST(Include, ErrorsNameTheIncludeFileAndItsLinesThenTheIncludingFile) {
    TempDir dir;
    std::filesystem::create_directory(dir / "inc");
    // The include file ends without a line end.
    write_file(dir / "inc/bad.oxh", std::string_view("int b;\n\n@;"));
    const Compiled result = compile_in(dir,
                                       "int a;\n"
                                       "#include \"inc\\bad.oxh\" junk\n"
                                       "@;\n");
    // Text after the name is reported on the including line, and the file is
    // still read; its name is printed as written in the directive.
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 2, msg::syntax) + error_line("inc\\bad.oxh", 3, msg::syntax) +
                                            error_line(kProg, 3, msg::syntax),
                                        3));
}

TEST(Include, NestedIncludeErrorsReturnToEachIncludingFile) {
    TempDir dir;
    write_file(dir / "outer.oxh", std::string_view("\n#include \"inner.oxh\"\n@;\n"));
    write_file(dir / "inner.oxh", std::string_view("@;\n"));
    const Compiled result = compile_in(dir, "#include \"outer.oxh\"\n@;\n");
    EXPECT_EQ(result.out, failed_output(error_line("inner.oxh", 1, msg::syntax) +
                                            error_line("outer.oxh", 3, msg::syntax) + error_line(kProg, 2, msg::syntax),
                                        3));
}

TEST(Include, FilesThatCannotBeReadAreReported) {
    TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    const std::string long_name(385, 'n');
    const Compiled result = compile_in(dir,
                                       "#include \"none.oxh\"\n"
                                       "#include \"sub\"\n"
                                       "#include \"" + long_name + "\"\n");
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 1, msg::include_not_found, ": none.oxh") +
                                            error_line(kProg, 2, msg::include_not_found, ": sub") +
                                            error_line(kProg, 3, msg::file_name_too_long),
                                        3));
}

TEST(Include, SixtyFourNestedIncludesAreRead) {
    TempDir dir;
    write_include_chain(dir, kDeepestNesting);
    const Compiled result = compile_in(dir, "#include \"d1.oxh\"\n");
    ASSERT_EQ(result.out, created_output());
    EXPECT_EQ(field_text(result.module, format::kTextFieldOffsets[0]), "deepest");
}

TEST(Include, TheSixtyFifthNestedIncludeIsNotFound) {
    TempDir dir;
    write_include_chain(dir, kDeepestNesting + 1);
    const Compiled result = compile_in(dir, "#include \"d1.oxh\"\n");
    EXPECT_EQ(result.out, failed_output(error_line("d64.oxh", 1, msg::include_not_found, ": d65.oxh"), 1));
    EXPECT_FALSE(result.module_exists);
}

TEST(Include, FileThatIncludesItselfStopsAtTheLimit) {
    TempDir dir;
    write_file(dir / "self.oxh", std::string_view("#include \"self.oxh\"\n"));
    const Compiled result = compile_in(dir, "#include \"self.oxh\"\nint after;\n");
    EXPECT_EQ(result.out, failed_output(error_line("self.oxh", 1, msg::include_not_found, ": self.oxh"), 1));
}
