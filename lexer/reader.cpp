#include "lexer/reader.hpp"

namespace oxbuild {

void Reader::start() {
    cur = ahead = ' ';
    next_char();
    next_char();
}

// Called with '/' current and '*' or '/' ahead. A block comment leaves one
// blank behind; a line comment leaves its line feed. "/*/" is complete
// because the opening '*' may close it.
void Reader::remove_comment() {
    const bool block = ahead == '*';
    read_raw_char();
    read_raw_char();
    if (block) {
        int previous = '*';
        while (cur != kEnd && !(previous == '*' && cur == '/')) {
            previous = cur;
            read_raw_char();
        }
        if (cur == kEnd) diag_.report_error(msg::comment_at_end);
        else cur = ' ';
    } else {
        while (cur != '\n' && cur != kEnd) read_raw_char();
        if (cur == kEnd) diag_.report_error(msg::comment_at_end);
    }
}

// Error recovery stops right after the first stop character it passes, even
// when a comment follows it directly: the character is remembered as it
// goes by, not read back from the window.
void Reader::skip_past(int stop) {
    bool passed = false;
    while (!passed && cur != kEnd) {
        passed = cur == stop;
        next_char();
    }
}

ReaderStateGuard::ReaderStateGuard(Reader& reader)
    : reader_(reader),
      cur_(reader.cur),
      ahead_(reader.ahead),
      line_(reader.line),
      file_number_(reader.file_number),
      file_name_(reader.file_name),
      stream_(reader.stream) {}

ReaderStateGuard::~ReaderStateGuard() {
    reader_.cur = cur_;
    reader_.ahead = ahead_;
    reader_.line = line_;
    reader_.file_number = file_number_;
    reader_.file_name = std::move(file_name_);
    reader_.stream = stream_;
}

}  // namespace oxbuild
