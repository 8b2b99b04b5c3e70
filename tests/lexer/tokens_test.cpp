// The token readers: words with their 32-character cut and #define
// substitution, numbers in three bases, directive integers, string literals
// with escapes, joining and the double-byte rule, file names, and the two
// checks that end a statement or a directive.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "format/bytecode.hpp"
#include "lexer/source_harness.hpp"
#include "support/test_support.hpp"

using namespace oxbuild;
using oxtest::SourceHarness;

namespace {

constexpr std::size_t kModuleNameOffset = 8;       // the first text field of the header
constexpr std::uint32_t kPlayWaveFromFile = 0xA4;  // a standard function taking one str

std::string syntax_line(int line) { return oxtest::error_line(SourceHarness::kName, line, msg::syntax); }

std::string bytes_of(const oxtest::Bytes& b, std::size_t at, std::size_t n) {
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

}  // namespace

// ---------------------------------------------------------------- words

TEST(WordReader, CutsAt32CharactersAndConsumesTheRest) {
    const std::string name40 = "abcdefghijklmnopqrstuvwxyz_0123456789ABC";
    SourceHarness h(name40 + ";x");
    EXPECT_EQ(h.identifier(), name40.substr(0, 32));
    EXPECT_EQ(h.reader().cur(), ';');
}

TEST(WordReader, EndsAtEveryNonWordCharacter) {
    struct WordsCase {
        std::string text;
        std::string first, second;
    };
    const WordsCase cases[] = {
        {"a_b9 c", "a_b9", "c"},
        {"12ab", "12ab", ""},          // one word, a digit may begin it
        {"12 ab", "12", "ab"},
        {"ab/*c*/cd", "ab", "cd"},     // a comment ends a word
        {"x\x95y", "x", ""},           // bytes of 0x80 and above are no word characters
        {"$x", "", ""},                // nothing is consumed when no word begins
    };
    for (const WordsCase& c : cases) {
        SourceHarness h(c.text);
        EXPECT_EQ(h.identifier(), c.first) << c.text;
        EXPECT_EQ(h.identifier(), c.second) << c.text;
    }
}

TEST(WordReader, NamesDifferingOnlyAfterCharacter32AreTheSameName) {
    const std::string stem(32, 'v');
    const oxtest::Compiled result = oxtest::compile_source("int " + stem + "X;\nint " + stem + "Y;\n");
    EXPECT_EQ(result.out, oxtest::failed_output(oxtest::error_line("prog.oxs", 2, msg::already_defined, ": " + stem), 1));
}

TEST(WordReader, DefinesAreSubstitutedOnceAndOnlyByTheIdentifierReaders) {
    SourceHarness h("MAX MAX MAX A max\nMAX");
    DefineTable& defines = h.compiler().p().defines;
    defines.set("MAX", Word("100"));
    defines.set("A", Word("B"));
    defines.set("B", Word("5"));
    Word word;
    h.lex().read_identifier(word);
    EXPECT_EQ(word.str(), "100");
    h.lex().read_identifier_on_line(word);
    EXPECT_EQ(word.str(), "100");
    h.lex().read_word(word);
    EXPECT_EQ(word.str(), "MAX");
    h.lex().read_identifier(word);
    EXPECT_EQ(word.str(), "B");  // not looked up again
    h.lex().read_identifier(word);
    EXPECT_EQ(word.str(), "max");  // case-sensitive
    h.lex().read_identifier_on_line(word);
    EXPECT_EQ(word.str(), "");  // never leaves the line
}

// ---------------------------------------------------------------- numbers

TEST(NumberReader, ConvertsInThreeBasesWithWrapAround) {
    struct NumberCase {
        std::string word;
        std::optional<std::int32_t> value;  // none when the conversion fails
    };
    const NumberCase cases[] = {
        {"0x1F", 31}, {"0X1f", 31}, {"0x1f", 31}, {"0xABCDEF", 0xABCDEF},
        {"010", 8}, {"0777", 511}, {"0", 0}, {"0x", 0}, {"00", 0},
        {"123", 123}, {"2147483647", 2147483647},
        {"4294967295", -1}, {"4294967296", 0}, {"0xFFFFFFFF", -1}, {"037777777777", -1},
        {"08", std::nullopt}, {"09", std::nullopt}, {"12ab", std::nullopt}, {"0x1G", std::nullopt},
        {"0b1", std::nullopt}, {"1_000", std::nullopt}, {"", std::nullopt},
    };
    for (const NumberCase& c : cases) {
        std::int32_t value = 12345;
        const bool ok = convert_number(c.word, value);
        EXPECT_EQ(ok, c.value.has_value()) << c.word;
        if (ok && c.value) {
            EXPECT_EQ(value, *c.value) << c.word;
        }
    }
}

TEST(NumberReader, DirectiveIntegersTakeAMinusSignAndDefines) {
    struct IntegerCase {
        std::string text;
        bool on_line;
        std::optional<std::int32_t> value;
        const Message* error;  // when the value is none
    };
    const IntegerCase cases[] = {
        {"-5", true, -5, nullptr},
        {"- 5", true, -5, nullptr},
        {" \t-\t0x10", true, -16, nullptr},
        {"SIZE", true, 32, nullptr},
        {"-SIZE", true, -32, nullptr},
        {"-2147483648", true, INT32_MIN, nullptr},
        {"\n 7", false, 7, nullptr},
        {"+5", true, std::nullopt, &msg::syntax},
        {"x5", true, std::nullopt, &msg::syntax},
        {"", true, std::nullopt, &msg::syntax},
        {"\n7", true, std::nullopt, &msg::syntax},
        {"-\n5", false, std::nullopt, &msg::syntax},  // after the sign it stays on the line
        {"08", true, std::nullopt, &msg::bad_constant},
        {"-12ab", true, std::nullopt, &msg::bad_constant},
    };
    for (const IntegerCase& c : cases) {
        SourceHarness h(c.text);
        h.compiler().p().defines.set("SIZE", Word("0x20"));
        std::int32_t value = 0;
        const bool ok = h.lex().read_integer(value, c.on_line);
        EXPECT_EQ(ok, c.value.has_value()) << c.text;
        if (ok && c.value) {
            EXPECT_EQ(value, *c.value) << c.text;
        }
        const std::string expected = c.error ? oxtest::error_line(SourceHarness::kName, 1, *c.error) : "";
        EXPECT_EQ(h.out(), expected) << c.text;
    }
}

TEST(NumberReader, DefinedNamesStandForNumbersInExpressions) {
    const oxtest::Compiled result = oxtest::compile_source(
        "#define MAX 0x64\n"
        "int count;\n"
        "OnLoad(int & result)\n"
        "{\n"
        "    count = MAX;\n"
        "    result = 0;\n"
        "}\n");
    ASSERT_EQ(result.out, oxtest::created_output());
    oxtest::ByteWriter code;
    code.word(OP_ASSIGN).word(TYPE_INT).word(0).word(EXPR_CONST).dword(100).word(EXPR_END);
    code.word(OP_ASSIGN).word(TYPE_INT_REF | LOCAL_FLAG).word(0).word(EXPR_CONST).dword(0).word(EXPR_END);
    code.word(OP_RETURN);
    EXPECT_EQ(oxtest::hex(oxtest::code_area(result.module)), oxtest::hex(code.get()));
}

// ---------------------------------------------------------------- strings

struct StringCase {
    std::string text;
    std::string stored;
    std::size_t maximum = 255;
    bool fits = true;
};

TEST(StringReader, EscapesAndTheDoubleByteRule) {
    const StringCase cases[] = {
        {R"("\a\b\f\n\r\t\v")", "\x07\x08\x0C\x0A\x0D\x09\x0B"},
        {R"("a\tb")", "a\tb"},
        {R"("\x41\X4a\x414")", "AJ\x14"},     // every hex digit taken, low 8 bits kept
        {R"("\x1FF")", "\xFF"},
        {R"("\q\0\\\"\'")", "q0\\\"'"},     // no octal escapes: \0 is the character 0
        {R"("a\xzb")", "a"},                 // \x without digits stores a zero, which ends the text
        {std::string("\"ab\0cd\"", 7), "ab"},  // so does a zero byte in the source
        {std::string("\"\x81\0x\"", 5), "\x81"},  // even as a trail byte
        {"\"\x95\x5Cn\"", "\x95\x5Cn"},     // a trail byte 0x5C starts no escape
        {"\"\x95\x5C\\n\"", "\x95\x5C\n"},  // after the trail byte a backslash escapes again
        {"\"\x81\x81\\n\"", "\x81\x81\n"},  // a lead byte in trail position is a trail byte
        {"\"\\\x95\\n\"", "\x95\\n"},       // an escaped lead byte takes the next byte as its trail
        {R"("a/*b*/c//d")", "a/*b*/c//d"},   // comment markers are text inside quotes
        {"\"a\nb\"", "a\nb"},
        {"\"abc", "abc"},                    // never closed: runs to the end, no message
    };
    for (const StringCase& c : cases) {
        SourceHarness h(c.text);
        std::string text;
        EXPECT_EQ(h.lex().read_string(text, c.maximum, StringForm::one_on_line), c.fits) << c.text;
        EXPECT_EQ(text, c.stored) << c.text;
        EXPECT_EQ(h.out(), "") << c.text;
    }
}

// The lead bytes are exactly 0x81-0x9F and 0xE0-0xFC: only after one of
// them is a backslash a trail byte instead of an escape.
TEST(StringReader, OnlyALeadByteKeepsTheNextBackslashFromEscaping) {
    struct LeadCase {
        unsigned char byte;
        bool lead;
    };
    const LeadCase edges[] = {{0x80, false}, {0x81, true},  {0x9F, true}, {0xA0, false},
                              {0xDF, false}, {0xE0, true}, {0xFC, true}, {0xFD, false}};
    for (const LeadCase& c : edges) {
        const std::string first(1, static_cast<char>(c.byte));
        SourceHarness h("\"" + first + "\\n\"");
        std::string text;
        EXPECT_TRUE(h.lex().read_string(text, 255, StringForm::one_on_line));
        EXPECT_EQ(text, c.lead ? first + "\\n" : first + "\n") << std::hex << int{c.byte};
    }
}

TEST(StringReader, MaximumCountsStoredBytes) {
    const StringCase cases[] = {
        {R"("abcd")", "abcd", 4, true},
        {R"("abcd")", "abc", 3, false},
        {R"("\x41\x42\x43")", "ABC", 3, true},        // an escape counts one
        {"\"ab\x95\x5C\"", "ab\x95", 3, false},        // the cut may split a character
        {"\"ab\x95\x5C" "cd\"", "ab\x95", 3, false},   // the dropped 0x5C is no escape
    };
    for (const StringCase& c : cases) {
        SourceHarness h(c.text);
        std::string text;
        EXPECT_EQ(h.lex().read_string(text, c.maximum, StringForm::one_on_line), c.fits) << c.text;
        EXPECT_EQ(text, c.stored) << c.text;
        EXPECT_EQ(h.reader().cur(), kEnd) << c.text;
    }
}

// Past the maximum no escape is read, so an escaped quote ends the piece.
TEST(StringReader, EscapedQuotePastTheMaximumEndsThePiece) {
    SourceHarness h(R"("ab\"c")");
    std::string text;
    EXPECT_FALSE(h.lex().read_string(text, 2, StringForm::one_on_line));
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(h.identifier(), "c");
}

TEST(StringReader, JoiningOfAdjacentPieces) {
    struct JoinCase {
        std::string text;
        StringForm form;
        std::string stored;
        std::string next;  // the next word after the text
    };
    const JoinCase cases[] = {
        {"\"ab\" \"cd\" x", StringForm::joined_across_lines, "abcd", "x"},
        {"\"ab\"/*c*/\"cd\" x", StringForm::joined_across_lines, "abcd", "x"},
        {"\"ab\"\n  \"cd\" x", StringForm::joined_across_lines, "abcd", "x"},
        {"\"ab\" \"c\\x0_d\" \"e\" x", StringForm::joined_across_lines, "abc", "x"},  // a later piece's zero ends it
        {"\"ab\" \"cd\" x", StringForm::one_on_line, "ab", ""},
        {"\"ab\"/*c*/x", StringForm::one_on_line, "ab", "x"},  // a comment after the quote is removed
    };
    for (const JoinCase& c : cases) {
        SourceHarness h(c.text);
        std::string text;
        EXPECT_TRUE(h.lex().read_string(text, 255, c.form)) << c.text;
        EXPECT_EQ(text, c.stored) << c.text;
        EXPECT_EQ(h.identifier(), c.next) << c.text;
    }
}

TEST(StringReader, PiecesTogetherCountAgainstTheMaximum) {
    SourceHarness h("\"ab\" \"cd\"");
    std::string text;
    EXPECT_FALSE(h.lex().read_string(text, 3, StringForm::joined_across_lines));
    EXPECT_EQ(text, "abc");
}

TEST(StringReader, MissingOpeningQuoteIsASyntaxErrorAndReadsAsEmpty) {
    SourceHarness h("\n  abc");
    std::string text = "old";
    EXPECT_TRUE(h.lex().read_string(text, 255, StringForm::joined_across_lines));
    EXPECT_EQ(text, "");
    EXPECT_EQ(h.out(), syntax_line(2));
    EXPECT_EQ(h.identifier(), "abc");
}

// A string argument of a call joins pieces across lines; the module shows
// the bytes: EXPR_STRING, the text, a zero, and a pad to an even size.
TEST(StringReader, CallArgumentsJoinAcrossLines) {
    const oxtest::Compiled result = oxtest::compile_source(
        "OnUnload()\n"
        "{\n"
        "    PlayWaveFromFile(\"a\\tb\"   // first piece\n"
        "                     \"\x95\x5C\");\n"
        "}\n");
    ASSERT_EQ(result.out, oxtest::created_output());
    oxtest::ByteWriter code;
    code.word(OP_CALL).word(CALL_STANDARD).word(kPlayWaveFromFile);
    code.word(EXPR_STRING).byte('a').byte('\t').byte('b').byte(0x95).byte(0x5C).byte(0);
    code.word(OP_RETURN);
    EXPECT_EQ(oxtest::hex(oxtest::code_area(result.module)), oxtest::hex(code.get()));
}

TEST(StringReader, LimitsOfCallArgumentsAndTextDirectives) {
    auto call_with = [](const std::string& text) {
        return "OnUnload()\n{\n    PlayWaveFromFile(\"" + text + "\");\n}\n";
    };
    EXPECT_EQ(oxtest::compile_source(call_with(std::string(255, 's'))).out, oxtest::created_output());
    // The 256 bytes may come in two pieces.
    EXPECT_EQ(oxtest::compile_source(call_with(std::string(200, 's') + "\"\n\"" + std::string(56, 's'))).out,
              oxtest::failed_output(oxtest::error_line("prog.oxs", 4, msg::string_over_255), 1));

    const oxtest::Compiled fits = oxtest::compile_source("#module \"" + std::string(32, 'm') + "\"\n");
    ASSERT_EQ(fits.out, oxtest::created_output());
    EXPECT_EQ(bytes_of(fits.module, kModuleNameOffset, 33), std::string(32, 'm') + '\0');
    EXPECT_EQ(oxtest::compile_source("#module \"" + std::string(33, 'm') + "\"\n").out,
              oxtest::failed_output(oxtest::error_line("prog.oxs", 1, msg::string_over_32), 1));
}

// In a directive the second text is text after the directive.
TEST(StringReader, TextDirectivesDoNotJoinPieces) {
    const oxtest::Compiled result = oxtest::compile_source("#module \"ab\" \"cd\"\nint x;\n");
    EXPECT_EQ(result.out, oxtest::failed_output(oxtest::error_line("prog.oxs", 1, msg::syntax), 1));
}

// ---------------------------------------------------------------- file names

TEST(FileNameReader, KeepsEveryByteUpToTheLimit) {
    struct FileNameCase {
        std::string text;
        std::string name;
        FileNameError error;
    };
    const std::string long_name(kFileNameMax, 'n');
    const FileNameCase cases[] = {
        {R"("dir\file.oxs")", "dir\\file.oxs", FileNameError::none},
        {R"(  "a/*b*/c//d")", "a/*b*/c//d", FileNameError::none},
        {R"("a\"b")", "a\\", FileNameError::none},          // no escapes
        {"\"" + long_name + "\"", long_name, FileNameError::none},
        {"\"" + long_name + "x\"", long_name, FileNameError::too_long},
        {"a.oxs", "", FileNameError::no_opening_quote},
    };
    for (const FileNameCase& c : cases) {
        SourceHarness h(c.text);
        const FileNameResult result = h.lex().read_file_name(kFileNameMax, true);
        EXPECT_EQ(result.name, c.name) << c.text;
        EXPECT_EQ(result.error, c.error) << c.text;
        EXPECT_EQ(h.out(), "") << c.text;
    }
}

TEST(FileNameReader, IncludeNamesAsAUserMeetsThem) {
    oxtest::TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    oxtest::write_file(dir / "sub/inc.oxs", "\n$\n");
    const std::string name384(kFileNameMax, 'n');
    const oxtest::Compiled result = oxtest::compile_in(dir,
        "#include \"sub\\inc.oxs\"\n"
        "#include \"no\\such.oxs\"\n"
        "#include \"" + name384 + "\"\n"
        "#include \"" + name384 + "n\"\n");
    EXPECT_EQ(result.out,
              oxtest::failed_output(oxtest::error_line("sub\\inc.oxs", 2, msg::syntax) +
                                        oxtest::error_line("prog.oxs", 2, msg::include_not_found, ": no\\such.oxs") +
                                        oxtest::error_line("prog.oxs", 3, msg::include_not_found, ": " + name384) +
                                        oxtest::error_line("prog.oxs", 4, msg::file_name_too_long),
                                    4));
}

// ---------------------------------------------------------------- ends

TEST(StatementAndDirectiveEnds, ExpectSemicolonReportsAtTheNextItem) {
    SourceHarness ok(" \n ;x");
    ok.lex().expect_semicolon();
    EXPECT_EQ(ok.identifier(), "x");
    EXPECT_EQ(ok.out(), "");

    SourceHarness missing("\n\n  b; c");
    missing.lex().expect_semicolon();
    EXPECT_EQ(missing.out(), syntax_line(3));
    EXPECT_EQ(missing.identifier(), "c");
}

TEST(StatementAndDirectiveEnds, EndDirectiveAcceptsALineCommentAndSkipsOtherText) {
    struct EndCase {
        std::string text;
        int error_line;  // 0 for none
        std::string next;
    };
    const EndCase cases[] = {
        {" \t\nx", 0, "x"},
        {" // note\nx", 0, "x"},
        {" /* note */ \nx", 0, "x"},
        {"", 0, ""},
        {" y z\nx", 1, "x"},
        {" /* a\n */ y\nx", 2, "x"},   // a block comment spanning lines leaves text behind
    };
    for (const EndCase& c : cases) {
        SourceHarness h(c.text);
        h.lex().end_directive();
        EXPECT_EQ(h.out(), c.error_line ? syntax_line(c.error_line) : "") << c.text;
        EXPECT_EQ(h.identifier(), c.next) << c.text;
    }
}
