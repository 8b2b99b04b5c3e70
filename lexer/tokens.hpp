// The token readers. There is no token stream: parsers call these when they
// expect a word, a number, a quoted text or a quoted file name, and look at
// the reader's current character for punctuation themselves.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/diagnostics.hpp"
#include "core/listener.hpp"
#include "lexer/reader.hpp"
#include "lexer/name_map.hpp"
#include "lexer/word.hpp"

namespace oxbuild {

// The #define table of one pass: name -> replacement, one level deep.
class DefineTable {
public:
    // The replacement of the name, or nullptr when it is not defined.
    const Word* find(const NameKey& name) const {
        if (map_.empty()) return nullptr;
        return map_.find(name);
    }
    void set(const NameKey& name, const Word& replacement) {
        const auto [value, inserted] = map_.try_emplace(name, replacement);
        if (!inserted) *value = replacement;
    }
    std::size_t size() const { return map_.size(); }

private:
    NameMap<Word> map_;
};

enum class FileNameError { none = 0, no_opening_quote = 1, too_long = 2 };

struct FileNameResult {
    std::string name;
    FileNameError error = FileNameError::none;
    bool ok() const { return error == FileNameError::none; }
};

inline constexpr std::size_t kFileNameMax = 384;

// The two forms of quoted text: one text on the directive's line (blanks
// before it), or a call's string argument, whose adjacent texts are joined
// across blanks and line ends.
enum class StringForm : std::uint8_t { one_on_line, joined_across_lines };

class Lexer {
public:
    Lexer(Reader& reader, Diagnostics& diag) : reader(reader), diag(diag) {}

    void use_defines(const DefineTable* defines) { defines_ = defines != nullptr ? defines : &kNoDefines; }
    // Told of every word, quoted text and file name read and of every
    // defined name replaced (nullptr: nobody).
    void use_listener(CompileListener* listener) { listener_ = listener; }

    // skip_space, a word, then #define substitution.
    void read_identifier(Word& word) {
        reader.skip_space();
        read_identifier_here(word);
    }
    // The same where the white space has just been skipped.
    void read_identifier_here(Word& word) {
        read_word_chars(word);
        lookup_define(word);
    }
    // The same without leaving the line.
    void read_identifier_on_line(Word& word);
    // skip_blanks and a word without substitution (for #define itself).
    void read_word(Word& word);
    // The replacement of a defined name, or the word itself.
    void lookup_define(Word& word) const {
        if (defines_->size() != 0) substitute_define(word);
    }

    // An optionally negative integer for the directives; false after a
    // reported error.
    [[nodiscard]] bool read_integer(std::int32_t& value, bool on_line);

    // A quoted text in the form given. The text is cut at its first zero
    // byte. Returns false only when bytes were dropped at the maximum; a
    // missing opening quote is reported here and reads as an empty text.
    bool read_string(std::string& text, std::size_t maximum, StringForm form);

    // One quoted file name, without escapes.
    FileNameResult read_file_name(std::size_t maximum, bool on_line);

    // ';' ends a statement; otherwise a syntax error skips past the next ';'.
    void expect_semicolon() { (void)expect_char(';'); }
    // White space, then the character (punctuation, no line feed), stepped
    // past; otherwise a syntax error (and false).
    bool expect_char(char expected) {
        if (reader.skip_space_and_peek() != static_cast<unsigned char>(expected)) {
            syntax_error();
            return false;
        }
        reader.step_over(1);
        return true;
    }
    // Blanks, then a line end or the end of the file; otherwise the rest of
    // the line is reported and skipped.
    void end_directive();

    // "文法に間違いがあります" and a skip past the next ';'.
    void syntax_error();

    Reader& reader;
    Diagnostics& diag;

private:
    void read_word_chars(Word& word) {
        if (listener_ != nullptr) [[unlikely]] return read_word_chars_heard(word);
        word.set_length(reader.scan_word(word.buffer()));
    }
    void read_word_chars_heard(Word& word);
    // Tells the listener of the token read since begin.
    void heard(TokenKind kind, std::int64_t begin) const {
        listener_->token_read(kind, {reader.file_number, begin, reader.word_end()});
    }
    void substitute_define(Word& word) const;
    int read_escape();
    // What one piece of a string leaves to the next one.
    struct StringSoFar {
        std::size_t length = 0;
        bool trail_byte_next = false;
        std::size_t first_zero = std::string::npos;  // where the first zero byte was stored
    };
    bool read_string_piece(std::string& text, std::size_t maximum, StringSoFar& so_far);

    // Never null, so that every word asks one question: an empty table
    // stands for no table.
    inline static const DefineTable kNoDefines{};
    const DefineTable* defines_ = &kNoDefines;
    CompileListener* listener_ = nullptr;
};

constexpr int hex_digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

namespace detail {
// The value of each byte as a digit, 16 for a byte that is none.
inline constexpr std::array<std::uint8_t, 256> kDigitValues = [] {
    std::array<std::uint8_t, 256> values{};
    for (int c = 0; c < 256; ++c) {
        const int d = hex_digit_value(c);
        values[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(d < 0 ? 16 : d);
    }
    return values;
}();

// Accumulates digits of one base with 32-bit wrap-around.
template <std::uint32_t Base>
bool convert_digits(std::string_view digits, std::int32_t& value) {
    std::uint32_t v = 0;
    for (const char ch : digits) {
        const std::uint32_t d = kDigitValues[static_cast<unsigned char>(ch)];
        if (d >= Base) return false;
        v = v * Base + d;
    }
    value = static_cast<std::int32_t>(v);
    return true;
}
}  // namespace detail

// Converts a digit-initial word: decimal, 0x hexadecimal or 0 octal, with
// 32-bit wrap-around. False at the first character its base does not allow.
// Inline: every number operand comes here.
[[nodiscard]] inline bool convert_number(std::string_view word, std::int32_t& value) {
    if (word.empty()) return false;
    if (word[0] != '0') return detail::convert_digits<10>(word, value);
    if (word.size() >= 2 && (word[1] == 'x' || word[1] == 'X')) return detail::convert_digits<16>(word.substr(2), value);
    return detail::convert_digits<8>(word, value);
}

}  // namespace oxbuild
