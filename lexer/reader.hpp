// The source reader: a window over the file being read (the current
// character and the one ahead), with comments removed and lines counted.
// Every parser looks at `cur` and `ahead` directly and moves on with
// next_char().
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "driver/diagnostics.hpp"
#include "lexer/source_stream.hpp"

namespace oxbuild {

inline constexpr int kEnd = -1;  // the window's value past the end of a file

class Reader : public LocationSource {
public:
    explicit Reader(Diagnostics& diag) : diag_(diag) {}

    int cur = ' ';
    int ahead = ' ';
    int line = 1;              // the line of the current character
    int file_number = 0;       // 0 for the main source, n for the n-th include
    std::string file_name;     // as written on the command line or in #include
    SourceStream* stream = nullptr;

    // Shifts the window by one without looking at comments.
    void read_raw_char() {
        if (cur == '\n') ++line;
        cur = ahead;
        ahead = stream->next_byte();
    }

    // One character on, with a comment that starts here removed.
    void next_char() {
        read_raw_char();
        remove_comment_here();
    }

    // Removes a comment that begins at the current character, if one does.
    void remove_comment_here() {
        if (cur == '/' && (ahead == '*' || ahead == '/')) remove_comment();
    }

    // Fills the window from the start of the stream.
    void start();

    void skip_space() {
        while (true) {
            if (is_blank(cur) && is_blank(ahead)) skip_blank_run();
            else if (cur == ' ' || cur == '\t' || cur == '\n') next_char();
            else return;
        }
    }
    bool at_space() const { return cur == ' ' || cur == '\t' || cur == '\n'; }
    void skip_blanks() {
        while (is_blank(cur)) {
            if (is_blank(ahead)) skip_blank_run();
            else next_char();
        }
    }
    // Moves on until just past the next ';' (a current ';' counts).
    void skip_past_semicolon() { skip_past(';'); }
    // Moves on to the first character of the next line.
    void skip_past_line_end() { skip_past('\n'); }

    // The key of a block opened here: the raw offset past the look-ahead byte.
    std::int64_t position() const { return stream->offset(); }

    SourceLocation location() const override { return {file_name, line}; }

    // Moves the window past the two characters in it and the bytes before p
    // in the stream's buffer, none of which may be a line feed.
    void jump_to(const unsigned char* p) {
        stream->consume_to(p);
        cur = ahead = ' ';
        read_raw_char();
        next_char();
    }

private:
    static bool is_blank(int c) { return c == ' ' || c == '\t'; }
    // With two blanks in the window: past them and the blanks after them.
    void skip_blank_run() {
        const unsigned char* p = stream->unread_begin();
        const unsigned char* end = stream->unread_end();
        while (p != end && (*p == ' ' || *p == '\t')) ++p;
        jump_to(p);
    }
    void remove_comment();
    void skip_past(int stop);

    Diagnostics& diag_;
};

// Saves the reader state on construction and restores it on destruction, so
// that an include file hands back the including file however it ends.
class ReaderStateGuard {
public:
    explicit ReaderStateGuard(Reader& reader);
    ~ReaderStateGuard();
    ReaderStateGuard(const ReaderStateGuard&) = delete;
    ReaderStateGuard& operator=(const ReaderStateGuard&) = delete;

private:
    Reader& reader_;
    int cur_, ahead_, line_, file_number_;
    std::string file_name_;
    SourceStream* stream_;
};

}  // namespace oxbuild
