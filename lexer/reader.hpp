// The source reader: a window over the file being read (the current
// character and the one ahead), with comments removed and lines counted.
// Every parser looks at cur() and ahead() and moves on with next_char().
//
// The window is a position in the stream's buffer: cur() is the byte there
// and ahead() the next one. Runs of blanks, word characters and comment or
// string bodies are scanned as runs over the buffer (the zero sentinel at
// its limit ends every scan), and line feeds are counted where such a run
// can hold them. Whenever fewer than two bytes are left the buffer is
// refilled, so ahead() is always in it until the file ends.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/diagnostics.hpp"
#include "core/char_classes.hpp"
#include "core/listener.hpp"
#include "lexer/source_stream.hpp"
#include "lexer/word.hpp"

namespace oxbuild {

inline constexpr int kEnd = -1;  // the window's value past the end of a file

class Reader : public LocationSource {
public:
    explicit Reader(Diagnostics& diag) : diag_(diag) {}

    int line = 1;              // the line of the current character
    int file_number = 0;       // 0 for the main source, n for the n-th include
    std::string file_name;     // as written on the command line or in #include

    // The current and the look-ahead character: a byte, or kEnd.
    int cur() const { return next_ < limit_ ? *next_ : kEnd; }
    int ahead() const { return next_ + 1 < limit_ ? next_[1] : kEnd; }

    // The byte at the window for a parser that compares it with punctuation
    // only: the zero sentinel (no punctuation) at the end of the file.
    unsigned char peek() const { return *next_; }
    // The byte after it; only while peek() is punctuation, so inside the
    // buffer's data or at its sentinel.
    unsigned char peek_ahead() const { return next_[1]; }
    // skip_space, then peek().
    unsigned char skip_space_and_peek() {
        skip_space();
        return peek();
    }
    // Steps over count punctuation characters (no line feed among them),
    // which is next_char count times: with enough bytes left in the buffer
    // that no refill falls between them, one step and one comment check.
    // The characters are one token (an operator of two is one).
    void step_over(std::ptrdiff_t count) {
        if (listener_ != nullptr) [[unlikely]] return step_over_heard(count);
        step_over_unheard(count);
    }
    void step_over_unheard(std::ptrdiff_t count) {
        if (limit_ - next_ >= count + 2) {
            next_ += count;
            remove_comment_here();
            return;
        }
        for (std::ptrdiff_t i = 0; i < count; ++i) next_char();
    }

    // Starts reading a stream from its first byte: the window holds its
    // first two characters, with a comment at the very start removed.
    void start(SourceStream& stream);

    // Shifts the window by one without looking at comments.
    void read_raw_char() {
        if (next_ == limit_) return;
        if (*next_ == '\n') ++line;
        ++next_;
        keep_ahead_filled();
    }

    // One character on, with a comment that starts here removed.
    void next_char() {
        read_raw_char();
        remove_comment_here();
    }

    // Blanks, tabs and line feeds (and the comments among them).
    // Every byte above the blank is no white space, so most calls end at
    // the first test.
    void skip_space() {
        if (*next_ > ' ') return;
        if (!step_over_lone_blank() && !step_over_line_end()) skip_run(kClassSpace);
    }
    // Blanks and tabs only: never leaves the line.
    void skip_blanks() {
        if (*next_ > ' ') return;
        if (!step_over_lone_blank()) skip_run(kClassBlank);
    }

    // Moves on until just past the next ';' (a current ';' counts).
    void skip_past_semicolon() { skip_past(';'); }
    // Moves on to the first character of the next line.
    void skip_past_line_end() { skip_past('\n'); }

    // The key of a block opened here: the raw offset past the look-ahead
    // byte (past the whole file once the look-ahead is the end).
    std::int64_t position() const {
        return next_ + 1 < limit_ ? stream_->raw_offset(next_ + 1) + 1 : stream_->end_offset();
    }

    SourceLocation location() const override {
        return {file_name, line, file_number, stream_ != nullptr ? stream_->raw_offset(next_) : 0};
    }

    // A listener hears every punctuation token stepped over and every
    // comment removed, and the reader remembers where each comment begins,
    // so that a word followed directly by a comment still ends where it is
    // spelled (nullptr: nobody listens).
    void use_listener(CompileListener* listener) { listener_ = listener; }
    // The raw offset just past the word, quote or brace read last: past its
    // last byte, before a comment removed right there.
    std::int64_t word_end() const {
        const std::int64_t here = stream_->raw_offset(next_);
        return comment_stream_ == stream_ && here == comment_end_ ? comment_start_ : stream_->raw_end(next_);
    }
    // The raw offset of the current character, where a token read next begins.
    std::int64_t offset_here() const { return stream_->raw_offset(next_); }

    // The word at the window, cut to kWordMax characters into the buffer
    // at text (kWordMax bytes; the bytes past the word are unspecified);
    // all of its characters are consumed, and a comment right after it is
    // removed. Returns the word's full length, capped at kWordMax.
    std::size_t scan_word(char* text) {
        // Mostly a short word that ends well inside the buffer.
        const unsigned char* p = next_;
        while (has_class(*p, kClassWord)) ++p;
        const auto run = static_cast<std::size_t>(p - next_);
        if (run == 0) return 0;
        if (run > kWordMax || limit_ - p < 2) return scan_word_slowly(text);
        std::memcpy(text, next_, kWordMax);  // the padding after the sentinel keeps this in the buffer
        next_ = p;
        remove_comment_here();
        return run;
    }

    // Copies the plain bytes of a string body (up to maximum of them) into
    // text and steps past them; stops at a byte of kClassStringStop.
    // Returns the number of bytes copied.
    std::size_t scan_string_run(std::string& text, std::size_t maximum);
    // Steps to the next '"' or the end of the file, counting line feeds.
    void skip_to_quote();

    // The reader state that an include file saves and restores.
    struct State {
        SourceStream* stream;
        const unsigned char* next;
        const unsigned char* limit;
        int line;
        int file_number;
        std::string file_name;
    };
    State save() const { return {stream_, next_, limit_, line, file_number, file_name}; }
    void restore(State&& state);

private:
    // Most white space is one blank between two tokens: stepped over here
    // when what follows is neither white space nor a possible comment.
    bool step_over_lone_blank() {
        if (*next_ != ' ' || !has_class(next_[1], kClassPlain) || limit_ - next_ < 3) return false;
        ++next_;
        return true;
    }
    // A line end and the blanks that indent the token after it, the other
    // common white space, likewise stepped over here.
    bool step_over_line_end() {
        if (*next_ != '\n') return false;
        const unsigned char* p = past_blanks(next_ + 1);
        if (!has_class(*p, kClassPlain) || limit_ - p < 2) return false;
        ++line;
        next_ = p;
        return true;
    }
    // Past the blanks at p, eight at a time. The sentinel, no blank, ends
    // every run, and the padding after it keeps the loads in the buffer.
    static const unsigned char* past_blanks(const unsigned char* p) {
        constexpr std::uint64_t kEightBlanks = 0x2020202020202020ull;
        while (true) {
            std::uint64_t bytes;
            std::memcpy(&bytes, p, sizeof bytes);
            const std::uint64_t others = bytes ^ kEightBlanks;
            if (others != 0) return p + static_cast<std::size_t>(std::countr_zero(others)) / 8;
            p += sizeof bytes;
        }
    }
    void keep_ahead_filled() {
        if (limit_ - next_ < 2 && !stream_->ended()) refill();
    }
    void refill() { stream_->refill(next_, limit_); }
    void remove_comment_here() {
        if (*next_ == '/' && (next_[1] == '*' || next_[1] == '/')) remove_comment();
    }
    // Moves to p (at most the limit), refilling the buffer when fewer than
    // two bytes are left there; true when the move reached the limit and
    // the buffer now holds new bytes to go on with.
    bool move_to(const unsigned char* p) {
        next_ = p;
        if (limit_ - p >= 2 || stream_->ended()) return false;
        const bool at_limit = p == limit_;
        refill();
        return at_limit && next_ != limit_;
    }
    void step_over_heard(std::ptrdiff_t count);
    void skip_run(std::uint8_t cls);
    void remove_comment_body();
    std::size_t scan_word_slowly(char* text);
    void remove_comment();
    void skip_block_comment_body();
    void skip_past(int stop);

    Diagnostics& diag_;
    SourceStream* stream_ = nullptr;
    CompileListener* listener_ = nullptr;
    const SourceStream* comment_stream_ = nullptr;  // where the last comment heard stood
    std::int64_t comment_start_ = -1;  // past what stood before it
    std::int64_t comment_end_ = -1;
    const unsigned char* next_ = kNothing;
    const unsigned char* limit_ = kNothing;
    // Before start(): an empty window whose sentinel and look-ahead read 0.
    static constexpr unsigned char kEmpty[SourceStream::kPadding] = {};
    static constexpr const unsigned char* kNothing = kEmpty;
};

// Saves the reader state on construction and restores it on destruction, so
// that an include file hands back the including file however it ends.
class ReaderStateGuard {
public:
    explicit ReaderStateGuard(Reader& reader) : reader_(reader), saved_(reader.save()) {}
    ~ReaderStateGuard() { reader_.restore(std::move(saved_)); }
    ReaderStateGuard(const ReaderStateGuard&) = delete;
    ReaderStateGuard& operator=(const ReaderStateGuard&) = delete;

private:
    Reader& reader_;
    Reader::State saved_;
};

}  // namespace oxbuild
