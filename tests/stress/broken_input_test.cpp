// Sources cut off in every state the reader and parsers can be in, and
// sources of arbitrary bytes: each ends with a message and the right exit
// status, never with a crash or a module left behind after errors.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "stress/stress_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

struct CutSource {
    const char* state;
    std::string source;
    std::string errors;  // the error lines
    int count;
};

std::string at_line_1(const Message& message, std::string_view detail = "") {
    return error_line("prog.oxs", 1, message, detail);
}

std::vector<CutSource> cut_sources() {
    const std::string missing_brace = at_line_1(msg::missing_close_brace);
    return {
        {"string argument", "str s; f() { strcpy(s, \"abc", at_line_1(msg::syntax) + missing_brace, 2},
        {"escape", "str s; f() { strcpy(s, \"\\", at_line_1(msg::syntax) + missing_brace, 2},
        {"block comment", "int x; /* never closed", at_line_1(msg::comment_at_end), 1},
        {"line comment", "int x; // no line feed", at_line_1(msg::comment_at_end), 1},
        {"directive name", "#", at_line_1(msg::syntax), 1},
        {"define", "#define A", at_line_1(msg::syntax), 1},
        {"include name", "#include \"name", at_line_1(msg::include_not_found, ": name"), 1},
        {"bitmap operands", "#bitmap 1", at_line_1(msg::syntax), 1},
        {"parameter list", "f(int a,", at_line_1(msg::syntax), 1},
        {"parameter", "f(int a", at_line_1(msg::syntax), 1},
        {"menu body", "#menu 1 {", at_line_1(msg::syntax), 1},
        {"menu item", "#menu 1 { POPUP \"a\" { MENUITEM \"b\", 1,", at_line_1(msg::syntax), 1},
        {"expression", "int x; f() { x = 1 +", at_line_1(msg::syntax) + missing_brace, 2},
        {"parentheses", "int x; f() { x = (1 + (2", at_line_1(msg::missing_close_paren) + missing_brace, 2},
        {"condition", "f() { if (1", at_line_1(msg::syntax) + missing_brace, 2},
        {"after else", "f() { if (1) { } else", at_line_1(msg::syntax) + missing_brace, 2},
        {"loop body", "f() { while (1) {", missing_brace, 1},
    };
}

// Runs of words, punctuation and odd bytes that reach deep into the parsers.
std::string random_source(std::mt19937& random) {
    static const std::vector<std::string> pieces = {
        "int ", "uint ", "str ", "x", "y", "f", "(", ")", "{", "}", ";", ",", "=", "+", "-", "<<", "&&", "!",
        "1", "0x", "09", "\"", "\\", "/*", "*/", "//", "\n", " ", "if ", "elseif ", "else ", "while ", "break",
        "continue", "return", "#define ", "#include ", "#module ", "#menu ", "#bitmap ", "#wave ", "POPUP ",
        "MENUITEM ", "strcpy", "SetField", "OnLoad", "&", "#-", std::string(1, '\0'), "\x80", "\xff", "\x81\x5c",
        "\r", "\x1a"};
    std::string source;
    const std::size_t length = random() % 80;
    for (std::size_t i = 0; i < length; ++i) source += pieces[random() % pieces.size()];
    return source;
}

}  // namespace

TEST(StressBrokenInput, SourceEndingInEveryStateIsReported) {
    for (const CutSource& cut : cut_sources()) {
        SCOPED_TRACE(cut.state);
        expect_failed(compile_source(cut.source), cut.errors, cut.count);
    }
}

TEST(StressBrokenInput, UnterminatedTextDirectiveRunsToTheEndOfTheFile) {
    const Compiled result = compile_source("#module \"abc");
    expect_created(result);
    EXPECT_EQ(std::string(result.module.begin() + 8, result.module.begin() + 12), std::string("abc\0", 4));
}

TEST(StressBrokenInput, EveryByteValueAsASourceIsReported) {
    // Upwards, the byte 0x1A ends the file early; downwards every byte is read.
    std::string up, down;
    for (int b = 0; b < 256; ++b) {
        up += static_cast<char>(b);
        down += static_cast<char>(255 - b);
    }
    for (const std::string& source : {up, down}) {
        const Compiled result = compile_source(source);
        EXPECT_EQ(result.status, 1);
        EXPECT_FALSE(result.module_exists);
        EXPECT_NE(result.out.find(msg::syntax.cp932), std::string::npos);
    }
}

TEST(StressBrokenInput, ZeroAndHighBytesInCommentsAndStringsAreText) {
    std::string high;
    for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
    const std::string source = "/* " + high + std::string(1, '\0') + " */ str s;\n// " + high +
                               "\nf() { strcpy(s, \"" + high + "\"); strcpy(s, \"a" + std::string(1, '\0') +
                               "b\"); }\n#comment \"" + high.substr(0, 64) + "\"\n";
    expect_created(compile_source(source));
}

TEST(StressBrokenInput, RandomBytesNeverCrashOrLeaveAWrongModule) {
    std::mt19937 random(20240607);
    for (int i = 0; i < 200; ++i) {
        std::string source(random() % 512, '\0');
        for (char& c : source) c = static_cast<char>(random());
        SCOPED_TRACE(hex(Bytes(source.begin(), source.end())));
        expect_consistent(compile_source(source));
    }
}

TEST(StressBrokenInput, RandomTokenSoupsNeverCrashOrLeaveAWrongModule) {
    std::mt19937 random(7);
    for (int i = 0; i < 400; ++i) {
        const std::string source = random_source(random);
        SCOPED_TRACE(source);
        expect_consistent(compile_source(source));
    }
}
