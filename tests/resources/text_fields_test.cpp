// #module, #copyright, #version and #comment: the four text fields of the
// module header, their limits and their redefinition warnings.
#include <gtest/gtest.h>

#include "support/test_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

const std::string kProg = "prog.oxs";

// The fields' places and widths in the module header.
constexpr std::size_t kFieldsStart = 8;
constexpr std::size_t kModuleWidth = 34, kCopyrightWidth = 34, kVersionWidth = 18, kCommentWidth = 66;
constexpr std::size_t kFieldsEnd = 160;

Bytes header_fields(const Bytes& module) {
    return Bytes(module.begin() + kFieldsStart, module.begin() + kFieldsEnd);
}

// A text and zeros to the field's width.
void field(ByteWriter& w, std::string_view text, std::size_t width) { w.text(text).zeros(width - text.size()); }

Bytes fields(std::string_view module, std::string_view copyright, std::string_view version, std::string_view comment) {
    ByteWriter w;
    field(w, module, kModuleWidth);
    field(w, copyright, kCopyrightWidth);
    field(w, version, kVersionWidth);
    field(w, comment, kCommentWidth);
    return w.get();
}

std::string warning(int line, const Message& message) {
    return kProg + "(" + std::to_string(line) + "):" + std::string(msg::warning.cp932) + std::string(message.cp932) +
           "\n";
}

// "あ" in code page 932: one character, two bytes.
const std::string kDoubleByte = "\x82\xa0";

std::string repeated(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace

TEST(TextFields, TextsAreWrittenIntoTheHeader) {
    const Compiled result = compile_source(
        "#module \"Clock\"\n"
        "#copyright \"(c) Someone\"\n"
        "#version \"1.0\"\n"
        "#comment \"Shows\\tthe time\"\n");
    ASSERT_EQ(result.out, created_output());
    EXPECT_EQ(hex(header_fields(result.module)), hex(fields("Clock", "(c) Someone", "1.0", "Shows\tthe time")));
}

TEST(TextFields, TextsAtTheirLimitsEndInTwoZeros) {
    const std::string module = repeated(kDoubleByte, 16);  // 32 bytes
    const std::string copyright(32, 'c'), version(16, 'v'), comment(64, 'm');
    const Compiled result = compile_source("#module \"" + module + "\"\n#copyright \"" + copyright +
                                           "\"\n#version \"" + version + "\"\n#comment \"" + comment + "\"\n");
    ASSERT_EQ(result.out, created_output());
    EXPECT_EQ(hex(header_fields(result.module)), hex(fields(module, copyright, version, comment)));
}

TEST(TextFields, LongerTextsAreReported) {
    const Compiled result = compile_source("#module \"" + repeated(kDoubleByte, 16) + "x\"\n#copyright \"" +
                                           std::string(33, 'c') + "\"\n#version \"" + std::string(17, 'v') +
                                           "\"\n#comment \"" + std::string(65, 'm') + "\"\n");
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 1, msg::string_over_32) +
                                            error_line(kProg, 2, msg::string_over_32) +
                                            error_line(kProg, 3, msg::string_over_16) +
                                            error_line(kProg, 4, msg::string_over_64),
                                        4));
    EXPECT_FALSE(result.module_exists);
}

TEST(TextFields, SecondDirectiveWarnsWithItsLineAndItsTextIsWritten) {
    const Compiled result = compile_source(
        "#module \"first\"\n"
        "#copyright \"c1\"\n"
        "#version \"v1\"\n"
        "#comment \"m1\"\n"
        "\n"
        "#comment \"m2\"\n"
        "#version \"v2\"\n"
        "#copyright \"c2\"\n"
        "#module \"second\"\n");
    EXPECT_EQ(result.out, warning(6, msg::comment_redefined) + warning(7, msg::version_redefined) +
                              warning(8, msg::copyright_redefined) + warning(9, msg::module_redefined) +
                              created_output());
    EXPECT_EQ(hex(header_fields(result.module)), hex(fields("second", "c2", "v2", "m2")));
}

TEST(TextFields, TooLongTextDoesNotCountAsSeen) {
    // The first #version is refused, so the second one gives no warning.
    const Compiled result = compile_source("#version \"" + std::string(17, 'v') + "\"\n#version \"ok\"\n");
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 1, msg::string_over_16), 1));
}

TEST(TextFields, TextMustBeOneQuotedString) {
    // No quote: reported, and the field counts as set. Two strings are not
    // joined: the second is text left on the line.
    const Compiled result = compile_source("#module Clock\n#module \"a\" \"b\"\n");
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 1, msg::syntax) + error_line(kProg, 1, msg::syntax) +
                                            warning(2, msg::module_redefined) + error_line(kProg, 2, msg::syntax),
                                        3));
}
