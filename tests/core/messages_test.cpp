// The message catalogue and the error-line format. Each catalogue entry
// keeps its text twice (UTF-8 to read, code page 932 to print); the two must
// be the same text, or the compiler prints something other than it says.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "core/diagnostics.hpp"
#include "core/messages.hpp"
#include "support/system.hpp"
#include "support/test_support.hpp"

using namespace oxbuild;

namespace {

std::string printable(std::string_view bytes) {
    std::ostringstream s;
    for (const char ch : bytes) s << std::hex << (static_cast<unsigned>(static_cast<unsigned char>(ch))) << ' ';
    return s.str();
}

// A reader position fixed for the error-line tests.
class FixedLocation : public LocationSource {
public:
    FixedLocation(std::string name, int line) : name_(std::move(name)), line_(line) {}
    SourceLocation location() const override { return {name_, line_}; }

private:
    std::string name_;
    int line_;
};

}  // namespace

TEST(MessageCatalogue, EveryCodePage932TextIsItsUtf8TextConverted) {
    std::string probe;
    if (!oxtest::utf8_to_cp932("表", probe)) GTEST_SKIP() << "no UTF-8 to CP932 converter on this machine";
    for (const Message* m : msg::all) {
        std::string expected;
        ASSERT_TRUE(oxtest::utf8_to_cp932(m->utf8, expected)) << m->utf8;
        EXPECT_EQ(printable(m->cp932), printable(expected)) << m->utf8;
    }
}

// English texts are printed where editors read ASCII: none may be empty or
// hold anything but printable ASCII, and two different messages may not
// read the same.
TEST(MessageCatalogue, EveryMessageHasItsOwnAsciiEnglishText) {
    std::map<std::string_view, std::string_view> japanese_of;
    for (const Message* m : msg::all) {
        EXPECT_FALSE(m->english.empty()) << m->utf8;
        for (const char ch : m->english) EXPECT_TRUE(ch >= ' ' && ch <= '~') << m->utf8 << ": " << m->english;
        const auto [at, added] = japanese_of.emplace(m->english, m->utf8);
        EXPECT_TRUE(added || at->second == m->utf8) << m->english << " stands for " << at->second << " and " << m->utf8;
    }
}

TEST(MessageCatalogue, EntriesAreListedOnceAndNotEmpty) {
    std::set<const Message*> seen;
    for (const Message* m : msg::all) {
        EXPECT_TRUE(seen.insert(m).second) << m->utf8 << " is listed twice";
        EXPECT_FALSE(m->cp932.empty());
    }
}

// "%s(%d):%s %s\n": the blank stands even before an empty detail.
TEST(Diagnostics, ErrorLinesArePrintedInPassTwoOnlyAndCountedInBoth) {
    std::ostringstream out;
    Diagnostics diag(out);
    const FixedLocation at("dir\\prog.oxs", 12);
    diag.attach(&at);

    diag.start_pass(1);
    diag.report_error(msg::syntax);
    diag.report_error_name(msg::symbol_not_found, "x");
    diag.report_error_file(msg::include_not_found, "a.oxs");
    diag.report_error_argument(msg::type_mismatch, 2);
    diag.warn_redefined("MAX");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(diag.error_count(), 4);

    diag.start_pass(2);
    EXPECT_EQ(diag.error_count(), 0);
    diag.report_error(msg::syntax);
    diag.report_error_name(msg::symbol_not_found, "x");
    diag.report_error_file(msg::include_not_found, "a.oxs");
    diag.report_error_argument(msg::type_mismatch, 2);
    EXPECT_EQ(diag.error_count(), 4);
    EXPECT_EQ(out.str(), oxtest::error_line("dir\\prog.oxs", 12, msg::syntax) +
                             oxtest::error_line("dir\\prog.oxs", 12, msg::symbol_not_found, ": x") +
                             oxtest::error_line("dir\\prog.oxs", 12, msg::include_not_found, ": a.oxs") +
                             oxtest::error_line("dir\\prog.oxs", 12, msg::type_mismatch, oxtest::argument_detail(2)));
}

TEST(Diagnostics, WarningsArePrintedInPassTwoAndNeverCounted) {
    std::ostringstream out;
    Diagnostics diag(out);
    const FixedLocation at("prog.oxs", 3);
    diag.attach(&at);
    diag.start_pass(2);
    diag.warn_redefined("MAX");
    diag.warn(diag.text(msg::module_redefined));
    EXPECT_EQ(diag.error_count(), 0);
    const std::string start = std::string("prog.oxs(3):") + std::string(msg::warning.cp932);
    EXPECT_EQ(out.str(), start + std::string(msg::redefined.cp932) + "MAX\n" + start +
                             std::string(msg::module_redefined.cp932) + "\n");
}

// In UTF-8 and English both the message and a code page 932 file name are
// converted; the line keeps its shape.
TEST(Diagnostics, Utf8AndEnglishStylesConvertMessagesAndFileNames) {
    struct Row {
        MessageStyle style;
        std::string expected;
    };
    const Row rows[] = {
        {MessageStyle::utf8,
         "表.oxs(1):インクルードファイルが見つかりません : 表\\a.oxs\n"
         "表.oxs(1):型が一致していません : 引数2\n"
         "表.oxs(1):警告:再定義されました: MAX\n"},
        {MessageStyle::english,
         "表.oxs(1):include file not found : 表\\a.oxs\n"
         "表.oxs(1):type mismatch : argument 2\n"
         "表.oxs(1):warning:redefined: MAX\n"},
    };
    for (const Row& row : rows) {
        std::ostringstream out;
        Diagnostics diag(out, row.style);
        const FixedLocation at("\x95\x5C.oxs", 1);  // 表.oxs
        diag.attach(&at);
        diag.start_pass(2);
        diag.report_error_file(msg::include_not_found, "\x95\x5C\\a.oxs");
        diag.report_error_argument(msg::type_mismatch, 2);
        diag.warn_redefined("MAX");
        if (out.str().find("\xEF\xBF\xBD") != std::string::npos) GTEST_SKIP() << "no CP932 converter on this machine";
        EXPECT_EQ(out.str(), row.expected);
    }
}

// One whole run's output spelled out byte by byte: the name, "(4):", the
// message in code page 932, the blank before the empty detail, the count.
TEST(Diagnostics, ErrorLineBytesSpelledOut) {
    const oxtest::Compiled result = oxtest::compile_source("int a;\n\n\n$\n");
    EXPECT_EQ(result.out,
              "prog.oxs(4):"
              "\x95\xB6\x96\x40\x82\xC9\x8A\xD4\x88\xE1\x82\xA2\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7"
              " \n"
              "   1"
              "\x8C\xC2\x82\xCC\x83\x47\x83\x89\x81\x5B\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7"
              "\n");
    EXPECT_EQ(result.status, 1);
}
