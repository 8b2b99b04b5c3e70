// The formatter's style, case by case: each source laid out as the
// expectation (written by hand) says, and the expectation kept as it is.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "oxfmt/format.hpp"
#include "support/test_support.hpp"

namespace {

using oxfmt::Formatted;

struct Case {
    const char* name;
    std::string source;
    std::string expected;
    bool uses_names = false;  // a, b and s are declared in front of both
};

Formatted format_in(const oxtest::TempDir& dir, const std::string& source) {
    return oxfmt::format_source(dir / "prog.oxs", "prog.oxs", source);
}

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"blanks around operators, after commas and keywords; a function's braces on lines of their own",
         "int a,b;\nstr s;\nf(int x,str &y);\nOnLoad(int &result){result=-a+(b*2)|#-a;f(1,s);}\nf(int x,str &y){}\n",
         "int a, b;\nstr s;\nf(int x, str &y);\nOnLoad(int &result)\n{\n    result = -a + (b * 2) | #-a;\n"
         "    f(1, s);\n}\nf(int x, str &y)\n{\n}\n"},
        {"a statement's brace ends its line, else chains share the closing brace's line",
         "OnUnload()\n{\n  int k;\n  if(k==1)\n  {\n  k=0;}\n  else if(k){k=k<<2;}\n"
         "  elseif (k) { } else{while(k>0){k=k-1;break;}}\n}\n",
         "OnUnload()\n{\n    int k;\n    if (k == 1) {\n        k = 0;\n    } else if (k) {\n        k = k << 2;\n"
         "    } elseif (k) {\n    } else {\n        while (k > 0) {\n            k = k - 1;\n            break;\n"
         "        }\n    }\n}\n"},
        {"directives: '#' joined to the name, the blanks between operands kept, indented as their block",
         "#  define  A    1\n#define LONGER 2\nOnUnload()\n{\n# define B 3\n}\n",
         "#define  A    1\n#define LONGER 2\nOnUnload()\n{\n    #define B 3\n}\n"},
        {"a menu's body one entry per line",
         "#menu 1 { POPUP \"p\" { MENUITEM \"a\", 1, -5 } MENUITEM \"q\",2,0 }\nint x;\n",
         "#menu 1\n{\n    POPUP \"p\"\n    {\n        MENUITEM \"a\", 1, -5\n    }\n    MENUITEM \"q\", 2, 0\n}\nint x;\n"},
        {"comments keep their text and place: trailing, on lines of their own, inline",
         "int a;   // the count\n  /* own line */\nOnUnload()\n{\na = a /* inline */ + 1; /* after */\n"
         "      // last in the block\n}\n",
         "int a;   // the count\n/* own line */\nOnUnload()\n{\n    a = a /* inline */ + 1; /* after */\n"
         "    // last in the block\n}\n"},
        {"blank lines: one for a run, none after an opening or before a closing brace",
         "\n\nint a;\n\n\n\nint b;\nOnUnload()\n{\n\n    a = 1;\n\n    b = 2;\n\n}\n\n\n",
         "int a;\n\nint b;\nOnUnload()\n{\n    a = 1;\n\n    b = 2;\n}\n"},
        {"a line break inside a statement stays, the further lines two levels in",
         "OnUnload()\n{\n    strcpy(s,\n \"text\");\n    a = a +\nb;\n}\n",
         "OnUnload()\n{\n    strcpy(s,\n            \"text\");\n    a = a +\n            b;\n}\n", true},
        {"a line comment inside a statement still ends its line",
         "OnUnload()\n{\n    a = a + // why\n    1;\n}\n", "OnUnload()\n{\n    a = a + // why\n            1;\n}\n", true},
        {"a slash never meets a comment or a second operator character",
         "OnUnload()\n{\n    a = a / /* half */ 2;\n    a = a < -1;\n}\n",
         "OnUnload()\n{\n    a = a / /* half */ 2;\n    a = a < -1;\n}\n", true},
        {"CR LF line ends are kept", "int a ;\r\nOnUnload(){a=1;}\r\n", "int a;\r\nOnUnload()\r\n{\r\n    a = 1;\r\n}\r\n"},
        {"what follows an end-of-file mark is kept", "int  a;\n\x1a junk  ;;", "int a;\n\x1a junk  ;;"},
        {"a text never closed gets no line end added into it", "#copyright  \"(c", "#copyright  \"(c"},
        {"a region between oxfmt off and on stays as it is",
         "int  a;\n/* oxfmt off */\nint   b,c;\n/* oxfmt on */\nint  d;\n",
         "int a;\n/* oxfmt off */\nint   b,c;\n/* oxfmt on */\nint d;\n"},
        {"a name defined as a keyword is spelled as written and laid out as the keyword",
         "#define IF if\nOnUnload()\n{\n    IF(a){a=1;}\n}\n", "#define IF if\nOnUnload()\n{\n    IF (a) {\n        a = 1;\n    }\n}\n", true},
        {"numbers, escapes and code page 932 bytes keep their spelling",
         "OnUnload(){a=0X1f+017;strcpy(s,\"\\x41\\\"\x93\xfa\");}\n",
         "OnUnload()\n{\n    a = 0X1f + 017;\n    strcpy(s, \"\\x41\\\"\x93\xfa\");\n}\n", true},
    };
    return all;
}

TEST(OxfmtLayout, LaysEachSourceOutInTheOneStyleAndKeepsWhatIsLaidOut) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        oxtest::TempDir dir;
        const std::string front = c.uses_names ? "int a, b;\nstr s;\n" : "";
        const Formatted f = format_in(dir, front + c.source);
        ASSERT_EQ(f.status, Formatted::Status::formatted) << f.messages;
        EXPECT_EQ(f.text, front + c.expected);
        EXPECT_EQ(format_in(dir, front + c.expected).text, front + c.expected);
    }
}

TEST(OxfmtLayout, RefusesASourceWithAnErrorOrAWarningWithTheCompilersMessages) {
    const std::pair<std::string, std::string> sources[] = {
        {"OnUnload()\n{\n    x = 1;\n}\n", "prog.oxs(3):symbol not found : x\n"},
        {"#module \"a\"\n#module \"b\"\n", "prog.oxs(2):warning:#module redefined\n"},
        // Only a second reading reports it: the formatter's compile must make one.
        {"f(int a);\nOnLoad(int &r)\n{\n    f(r);\n}\n", "prog.oxs(4):function has no body : f\n"},
    };
    for (const auto& [source, messages] : sources) {
        oxtest::TempDir dir;
        const Formatted f = oxfmt::format_source(dir / "prog.oxs", "prog.oxs", source, nullptr,
                                                 oxbuild::MessageStyle::english);
        EXPECT_EQ(f.status, Formatted::Status::refused);
        EXPECT_EQ(f.messages, messages);
        EXPECT_TRUE(f.text.empty());
    }
}

// The reader's tokens and comments, as the listener hears them: raw offsets
// past carriage returns, a comment right after a word, a line comment
// without its line end.
// Reads the source in a directory of its own, keeping what the compiler read.
oxfmt::Reading read_in(const oxtest::TempDir& dir, const std::string& source) {
    oxfmt::Reading reading;
    reading.source = source;
    oxfmt::KeepReading keep(reading);
    const oxfmt::Compiled c =
        oxfmt::read_source(dir / "prog.oxs", "prog.oxs", source, keep, nullptr, oxbuild::MessageStyle::english);
    EXPECT_TRUE(c.clean) << c.messages;
    return reading;
}

// The reader's tokens and comments, as the listener hears them: raw offsets
// past carriage returns, a comment right after a word, a line comment
// without its line end, the tokens of an include file left out.
TEST(OxfmtReading, HearsEveryTokenAndCommentOfTheMainFileWithItsRawBytes) {
    oxtest::TempDir dir;
    oxtest::write_file(dir / "inc.oxh", "int b;\n");
    const oxfmt::Reading r = read_in(dir, "#include \"inc.oxh\"\r\nint a/*c*/;\r\n// x\r\nOnUnload(){a=-1;}");
    std::vector<std::string> tokens;
    for (const oxfmt::Token& t : r.tokens)
        tokens.push_back(std::string(r.bytes_of(t.begin, t.end)) + "@" + std::to_string(t.level));
    EXPECT_EQ(tokens, (std::vector<std::string>{"#@0", "include@0", "\"inc.oxh\"@0", "int@0", "a@0", ";@0",
                                                "OnUnload@0", "(@0", ")@0", "{@0", "a@1", "=@1", "-@1", "1@1",
                                                ";@1", "}@1"}));
    std::vector<std::string> comments;
    for (const oxfmt::Comment& c : r.comments) comments.emplace_back(r.bytes_of(c.begin, c.end));
    EXPECT_EQ(comments, (std::vector<std::string>{"/*c*/", "// x"}));
}

TEST(OxfmtRange, LaysOutOnlyTheWholeStatementsTheRangeTouches) {
    oxtest::TempDir dir;
    const std::string source = "int  a;\nOnUnload()\n{\n    a=1;\n    a  =  a+\n2;\n    a=3;\n}\n";
    const oxfmt::Reading reading = read_in(dir, source);
    const std::size_t inside = source.find("a+");
    const auto r = oxfmt::lay_out_range(reading, inside, inside + 1);
    ASSERT_TRUE(r.has_value());
    std::string edited = source;
    edited.replace(r->begin, r->end - r->begin, r->text);
    EXPECT_EQ(edited, "int  a;\nOnUnload()\n{\n    a=1;\n    a = a +\n            2;\n    a=3;\n}\n");
}

}  // namespace
