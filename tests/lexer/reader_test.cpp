// The source reader: comments, line ends, the text-mode rules (CR dropped,
// 0x1A ends the file), the skips used for error recovery, and the error lines
// as a user sees them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lexer/source_harness.hpp"
#include "support/test_support.hpp"

using namespace oxbuild;
using oxtest::SourceHarness;

namespace {

struct CharsCase {
    std::string text;
    std::string chars;  // what the parsers see, comments removed
};

std::string comment_error(int line) { return oxtest::error_line(SourceHarness::kName, line, msg::comment_at_end); }

}  // namespace

TEST(Reader, CommentsAreRemovedByTheirExactRules) {
    const CharsCase cases[] = {
        {"/*/", " "},                                 // the opening '*' may close it
        {"/*/x", " x"},                               // a block comment leaves one blank
        {"/**/x", " x"},
        {"x/*note*/y", "x y"},                        // two words, not one
        {"/* a /* b */ c */", "  c */"},              // no nesting
        {"/*a*//*b*/c", "  c"},                       // one comment right after another
        {"a/*\n\n*/b", "a b"},
        {"a// c\nb", "a\nb"},                         // a line comment keeps its line feed
        {"a/b*c*/d", "a/b*c*/d"},                     // no opening marker
        {"\x95/", "\x95/"},                           // bytes of 0x80 and above pass unchanged
    };
    for (const CharsCase& c : cases) {
        SourceHarness h(c.text);
        EXPECT_EQ(h.rest(), c.chars) << c.text;
        EXPECT_EQ(h.out(), "") << c.text;
        EXPECT_EQ(h.errors(), 0) << c.text;
    }
}

TEST(Reader, EmptyFileStartsAtItsEnd) {
    SourceHarness h("");
    EXPECT_EQ(h.reader().cur(), kEnd);
    EXPECT_EQ(h.reader().ahead(), kEnd);
}

TEST(Reader, TextModeDropsCarriageReturnsAndStopsAt0x1A) {
    const CharsCase cases[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"\r\r\r", ""},
        {"a\rb", "ab"},
        {"ab\x1A" "cd\n", "ab"},
        {"\x1A" "ab", ""},
        {"a//c\x1A\nb", "a"},   // the mark ends a line comment as the end of file does
    };
    for (const CharsCase& c : cases) {
        SourceHarness h(c.text);
        EXPECT_EQ(h.rest(), c.chars) << c.text;
    }
}

// The same text with CR LF and with LF line ends gives the same characters
// on the same lines.
TEST(Reader, CrLfAndLfGiveTheSameLines) {
    const std::string lf = "a\nb /* x\n y */ c\n// d\n\ne";
    std::string crlf;
    for (const char ch : lf) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    SourceHarness with_lf(lf), with_crlf(crlf), lines_lf(lf), lines_crlf(crlf);
    EXPECT_EQ(with_crlf.rest(), with_lf.rest());
    // a LF b blank, the comment's blank on the line where it closes, blank c LF,
    // the line comment's LF, LF, e
    const std::vector<int> expected = {1, 1, 2, 2, 3, 3, 3, 3, 4, 5, 6};
    EXPECT_EQ(lines_lf.rest_lines(), expected);
    EXPECT_EQ(lines_crlf.rest_lines(), expected);
}

// The source position is the raw offset just past the look-ahead byte:
// carriage returns and the 0x1A mark are counted.
TEST(Reader, PositionCountsRawBytes) {
    SourceHarness h("a\r\nb\x1A" "cd");
    std::vector<std::int64_t> positions;
    for (int i = 0; i < 4; ++i) {
        positions.push_back(h.reader().position());
        h.reader().next_char();
    }
    // cur a (ahead LF) 3, cur LF (ahead b) 4, cur b (ahead end) 5, end 5
    EXPECT_EQ(positions, (std::vector<std::int64_t>{3, 4, 5, 5}));
}

TEST(Reader, FileEndingInsideACommentIsReportedWithItsLine) {
    struct EndCase {
        std::string text;
        std::string chars;
        int line;
    };
    const EndCase cases[] = {
        {"a\n/* x\ny", "a\n", 3},
        {"a\n// x", "a\n", 2},
        {"a /* x \x1A */", "a ", 1},   // the mark ends the file inside the comment
        {"/*", "", 1},
        {"//", "", 1},
    };
    for (const EndCase& c : cases) {
        SourceHarness h(c.text);
        EXPECT_EQ(h.rest(), c.chars) << c.text;
        EXPECT_EQ(h.out(), comment_error(c.line)) << c.text;
        EXPECT_EQ(h.errors(), 1) << c.text;
    }
}

TEST(Reader, ErrorsOfPassOneAreCountedButNotPrinted) {
    SourceHarness h("x /* open", 1);
    EXPECT_EQ(h.rest(), "x ");
    EXPECT_EQ(h.out(), "");
    EXPECT_EQ(h.errors(), 1);
}

TEST(Reader, OnlyBlankTabAndLineFeedAreWhiteSpace) {
    SourceHarness form_feed("\f x");
    EXPECT_EQ(form_feed.identifier(), "");
    EXPECT_EQ(form_feed.reader().cur(), '\f');

    SourceHarness vertical_tab("\v x");
    EXPECT_EQ(vertical_tab.identifier(), "");
    EXPECT_EQ(vertical_tab.reader().cur(), '\v');

    SourceHarness space(" \t\n \n\tx");
    EXPECT_EQ(space.identifier(), "x");
    EXPECT_EQ(space.reader().line, 3);

    SourceHarness blanks(" \t\n x");
    blanks.reader().skip_blanks();
    EXPECT_EQ(blanks.reader().cur(), '\n');
    EXPECT_EQ(blanks.reader().line, 1);
}

// Recovery stops right after the first stop character it passes, also when a
// comment follows that character directly.
TEST(Reader, SkipsStopRightAfterTheFirstStopCharacter) {
    struct SkipCase {
        std::string text;
        bool to_line_end;
        std::string next_word;
        int line;  // of the character the skip stops on
    };
    const SkipCase cases[] = {
        {"a;b;c", false, "b", 1},
        {";b;c", false, "b", 1},            // a current ';' counts
        {"a;/*c*/b;d", false, "b", 1},
        {"a;//c\nb;d", false, "b", 1},
        {"a\n;\nb;c", false, "b", 2},
        {"a b c", false, "", 1},            // no ';': to the end of the file
        {"a b\nc\nd", true, "c", 2},
        {"\nc\nd", true, "c", 2},           // a current line feed counts
        {"a\n/*c*/b\nd", true, "b", 2},
        {"a\n//c\nb\nd", true, "b", 2},     // stops on the comment's own line feed
        {"a;b", true, "", 1},
    };
    for (const SkipCase& c : cases) {
        SourceHarness h(c.text);
        if (c.to_line_end) h.reader().skip_past_line_end();
        else h.reader().skip_past_semicolon();
        EXPECT_EQ(h.reader().line, c.line) << c.text;
        EXPECT_EQ(h.identifier(), c.next_word) << c.text;
    }
}

// Error lines as a user meets them: file name, line, message in code page
// 932, a blank even before an empty detail; printed once for two passes.
TEST(Reader, ErrorLinesOfAWholeCompilation) {
    for (const std::string line_end : {"\n", "\r\n"}) {
        auto lines = [&](std::initializer_list<const char*> parts) {
            std::string text;
            for (const char* p : parts) text += std::string(p) + line_end;
            return text;
        };
        const oxtest::Compiled stray = oxtest::compile_source(lines({"int a;", "int b;", "", "$ int c;", "int d;"}));
        EXPECT_EQ(stray.out, oxtest::failed_output(oxtest::error_line("prog.oxs", 4, msg::syntax), 1));
        EXPECT_EQ(stray.status, 1);
        EXPECT_FALSE(stray.module_exists);

        // A missing ';' is found at the next item, on its line.
        const oxtest::Compiled missing = oxtest::compile_source(lines({"int a;", "", "", "", "int b", "int c;", "$"}));
        EXPECT_EQ(missing.out, oxtest::failed_output(oxtest::error_line("prog.oxs", 6, msg::syntax) +
                                                         oxtest::error_line("prog.oxs", 7, msg::syntax),
                                                     2));

        // Reported where the file ends.
        const oxtest::Compiled open = oxtest::compile_source(lines({"int a;"}) + "/* open");
        EXPECT_EQ(open.out, oxtest::failed_output(oxtest::error_line("prog.oxs", 2, msg::comment_at_end), 1));
        EXPECT_FALSE(open.module_exists);
    }
}

// An include file reports with its own name and lines; after it the
// including file's name and line come back.
TEST(Reader, IncludeFileKeepsItsOwnNameAndLines) {
    oxtest::TempDir dir;
    oxtest::write_file(dir / "inc.oxs", "int a;\nint b;\n$\n");
    const oxtest::Compiled result = oxtest::compile_in(dir, "int x;\n#include \"inc.oxs\"\n\n$\n");
    EXPECT_EQ(result.out, oxtest::failed_output(oxtest::error_line("inc.oxs", 3, msg::syntax) +
                                                    oxtest::error_line("prog.oxs", 4, msg::syntax),
                                                2));
}

// The reader refills its 64 KiB buffer as it goes; a word, a blank run, a
// comment, a string, a two-character operator or a CR LF that straddles a
// refill must read exactly as it does anywhere else. A padding comment moves
// every token of the first lines across the refill point in turn, in LF and
// CR LF form.
TEST(Reader, BufferRefillsChangeNothing) {
    constexpr std::size_t kBufferSize = 1 << 16;
    const std::string name40 = "a_name_of_forty_characters_0123456789xyz";
    const std::string with_errors = "int g;\nOnLoad(int &r)\n{\n"
                                    "    str t;        // a comment\n"
                                    "    r = g + 0x1F * 010;   /* two\n"
                                    "    lines */ r = " + name40 + ";\n"
                                    "    r = ;\n}\n";
    const std::string without_errors = "int " + name40 + ";\nstr s;\nOnLoad(int &r)\n{\n"
                                       "    r = " + name40 + " + 0x1F * 010;   /* two\n"
                                       "    lines */ strcpy(s, \"a\\tb\\x41\x95\\c /* text */\");\n}\n";
    const auto crlf = [](const std::string& text) {
        std::string out;
        for (const char ch : text) out += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        return out;
    };
    const std::string operators = "f(int r){r=~(r<<2)!=#-r&&r>=1||(r);}\n";
    const struct {
        const std::string& text;
        bool creates_module;
    } sources[] = {{with_errors, false}, {without_errors, true}, {operators, true}};
    for (const auto& [source, creates_module] : sources) {
        const oxtest::Compiled plain = oxtest::compile_source(source);
        ASSERT_EQ(plain.module_exists, creates_module) << plain.out;
        for (std::size_t at = kBufferSize - 48; at <= kBufferSize + 4; ++at) {
            const std::string padding = "/*" + std::string(at - 4, '.') + "*/";
            for (const std::string& text : {padding + source, crlf(padding + source)}) {
                const oxtest::Compiled padded = oxtest::compile_source(text);
                ASSERT_EQ(padded.out, plain.out) << "tokens from offset " << at;
                ASSERT_EQ(padded.module, plain.module) << "tokens from offset " << at;
            }
        }
    }
}
