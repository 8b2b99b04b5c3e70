#include "lexer/tokens.hpp"

#include "core/text_encoding.hpp"

namespace oxbuild {

namespace {

constexpr char kQuote = '"';

}  // namespace

void Lexer::substitute_define(Word& word) const {
    const Word* replacement = defines_->find(word);
    if (replacement == nullptr) return;
    if (listener_ != nullptr) [[unlikely]]
        listener_->define_used({word.view(), {reader.file_number, reader.word_end()}}, replacement->view());
    word = *replacement;
}

void Lexer::read_word_chars_heard(Word& word) {
    const std::int64_t begin = reader.offset_here();
    word.set_length(reader.scan_word(word.buffer()));
    if (!word.empty()) heard(TokenKind::word, begin);
}

void Lexer::read_identifier_on_line(Word& word) {
    reader.skip_blanks();
    read_word_chars(word);
    lookup_define(word);
}

void Lexer::read_word(Word& word) {
    reader.skip_blanks();
    read_word_chars(word);
}

bool Lexer::read_integer(std::int32_t& value, bool on_line) {
    if (on_line) reader.skip_blanks();
    else reader.skip_space();
    bool negative = false;
    if (reader.cur() == '-') {
        reader.step_over(1);
        negative = true;
    }
    Word word;
    read_identifier_on_line(word);
    if (word.empty() || !is_digit(word.front())) {
        diag.report_error(msg::syntax);
        return false;
    }
    if (!convert_number(word.view(), value)) {
        diag.report_error(msg::bad_constant);
        return false;
    }
    if (negative) value = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(value));
    return true;
}

// Called with '\' current; leaves the escape's last character current.
int Lexer::read_escape() {
    reader.read_raw_char();
    switch (reader.cur()) {
        case 'a': return 0x07;
        case 'b': return 0x08;
        case 'f': return 0x0C;
        case 'n': return 0x0A;
        case 'r': return 0x0D;
        case 't': return 0x09;
        case 'v': return 0x0B;
        case 'x':
        case 'X': {
            std::uint32_t value = 0;
            while (hex_digit_value(reader.ahead()) >= 0) {
                value = value * 16 + static_cast<std::uint32_t>(hex_digit_value(reader.ahead()));
                reader.read_raw_char();
            }
            return static_cast<int>(value & 0xFF);
        }
        default: return reader.cur();
    }
}

// Reads from the opening quote to past the closing one. Characters inside
// are raw: comment markers are text and line feeds are stored. Runs of
// plain bytes are copied whole; the bytes that need a decision (a
// backslash, a lead byte and its trail byte, a line feed) go one by one.
// A plain byte is never a lead byte, so after one the next byte is no
// trail byte. Past the maximum nothing is stored and no escape is read, so
// the piece ends at the next quote.
bool Lexer::read_string_piece(std::string& text, std::size_t maximum, StringSoFar& so_far) {
    Reader& r = reader;
    r.read_raw_char();
    while (true) {
        if (so_far.length < maximum) {
            const std::size_t copied = r.scan_string_run(text, maximum - so_far.length);
            so_far.length += copied;
            if (copied != 0) so_far.trail_byte_next = false;
        }
        const int c = r.cur();
        if (c == kQuote || c == kEnd) break;
        if (so_far.length >= maximum) {
            r.skip_to_quote();
            r.next_char();
            return false;
        }
        int byte = c;
        if (!so_far.trail_byte_next && c == '\\') byte = read_escape();
        // A backslash at the very end of the file stores nothing.
        if (byte != kEnd) {
            if (byte == 0 && so_far.first_zero == std::string::npos) so_far.first_zero = so_far.length;
            text.push_back(static_cast<char>(byte));
            ++so_far.length;
        }
        so_far.trail_byte_next = !so_far.trail_byte_next && is_lead_byte(r.cur());
        r.read_raw_char();
    }
    r.next_char();
    return true;
}

bool Lexer::read_string(std::string& text, std::size_t maximum, StringForm form) {
    const bool on_line = form == StringForm::one_on_line;
    const bool concatenate = form == StringForm::joined_across_lines;
    text.clear();
    if (on_line) reader.skip_blanks();
    else reader.skip_space();
    if (reader.cur() != kQuote) {
        diag.report_error(msg::syntax);
        return true;
    }
    bool fit = true;
    StringSoFar so_far;
    while (true) {
        const std::int64_t begin = listener_ != nullptr ? reader.offset_here() : 0;
        fit = read_string_piece(text, maximum, so_far) && fit;
        if (listener_ != nullptr) heard(TokenKind::text, begin);
        if (!concatenate) break;
        if (on_line) reader.skip_blanks();
        else reader.skip_space();
        if (reader.cur() != kQuote) break;
    }
    // The text is zero-terminated for every later use. A zero byte is a
    // byte the runs never copy, so only the one-by-one path stores one.
    if (so_far.first_zero != std::string::npos) text.resize(so_far.first_zero);
    return fit;
}

FileNameResult Lexer::read_file_name(std::size_t maximum, bool on_line) {
    FileNameResult result;
    if (on_line) reader.skip_blanks();
    else reader.skip_space();
    if (reader.cur() != kQuote) {
        result.error = FileNameError::no_opening_quote;
        return result;
    }
    const std::int64_t begin = listener_ != nullptr ? reader.offset_here() : 0;
    reader.read_raw_char();
    while (reader.cur() != kQuote && reader.cur() != kEnd) {
        if (result.name.size() < maximum) result.name.push_back(static_cast<char>(reader.cur()));
        else result.error = FileNameError::too_long;
        reader.read_raw_char();
    }
    reader.next_char();
    if (listener_ != nullptr) heard(TokenKind::file_name, begin);
    // A name holding a zero byte ends there, as a C string would.
    const auto zero = result.name.find('\0');
    if (zero != std::string::npos) result.name.resize(zero);
    return result;
}

void Lexer::syntax_error() {
    diag.report_error(msg::syntax);
    reader.skip_past_semicolon();
}

void Lexer::end_directive() {
    reader.skip_blanks();
    if (reader.cur() == kEnd) return;
    if (reader.cur() == '\n') {
        reader.next_char();
        return;
    }
    diag.report_error(msg::syntax);
    reader.skip_past_line_end();
}

}  // namespace oxbuild
