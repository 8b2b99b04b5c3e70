#include "lexer/reader.hpp"

#include <algorithm>
#include <cstring>

namespace oxbuild {

void Reader::start(SourceStream& stream) {
    stream_ = &stream;
    comment_stream_ = nullptr;
    next_ = limit_ = stream.start();
    refill();
    remove_comment_here();
}

void Reader::restore(State&& state) {
    stream_ = state.stream;
    next_ = state.next;
    limit_ = state.limit;
    line = state.line;
    file_number = state.file_number;
    file_name = std::move(state.file_name);
}

// Runs of blanks, mostly indentation, are stepped over eight at a time.
void Reader::skip_run(std::uint8_t cls) {
    const bool line_feeds = (cls & kClassLineFeed) != 0;
    while (true) {
        const unsigned char* p = next_;
        while (true) {
            const unsigned char c = *p;
            if (c == ' ') {
                p = past_blanks(p);
            } else if (c == '\t') {
                ++p;
            } else if (c == '\n' && line_feeds) {
                ++line;
                ++p;
            } else {
                break;
            }
        }
        if (move_to(p)) continue;
        // A block comment leaves a blank and a line comment its line feed,
        // so the run goes on after either.
        if (*next_ == '/' && (next_[1] == '*' || next_[1] == '/')) {
            remove_comment();
            continue;
        }
        return;
    }
}

void Reader::step_over_heard(std::ptrdiff_t count) {
    const std::int64_t begin = stream_->raw_offset(next_);
    step_over_unheard(count);
    listener_->token_read(TokenKind::punctuation, {file_number, begin, word_end()});
}

void Reader::remove_comment() {
    if (listener_ == nullptr) return remove_comment_body();
    const bool block = next_[1] == '*';
    const std::int64_t before = stream_->raw_end(next_);
    const std::int64_t start = stream_->raw_offset(next_);
    remove_comment_body();
    comment_stream_ = stream_;
    comment_start_ = before;
    comment_end_ = stream_->raw_offset(next_);
    // A block comment's closing '/' is the blank now current.
    const std::int64_t end = block && cur() != kEnd ? comment_end_ + 1 : stream_->raw_end(next_);
    listener_->comment_read({file_number, start, end});
}

// Called with '/' current and '*' or '/' ahead. A block comment leaves one
// blank behind; a line comment leaves its line feed.
void Reader::remove_comment_body() {
    const bool block = next_[1] == '*';
    read_raw_char();
    read_raw_char();
    if (block) {
        skip_block_comment_body();
        return;
    }
    while (true) {
        const auto* feed = static_cast<const unsigned char*>(std::memchr(next_, '\n', static_cast<std::size_t>(limit_ - next_)));
        if (feed != nullptr) {
            move_to(feed);
            return;
        }
        if (!move_to(limit_)) break;
    }
    diag_.report_error(msg::comment_at_end);
}

// Up to the first "*/", where the '*' of the opening marker counts, so that
// "/*/" is complete. Comments do not nest.
void Reader::skip_block_comment_body() {
    unsigned char previous = '*';
    while (true) {
        const unsigned char* p = next_;
        while (p != limit_ && !(*p == '/' && previous == '*')) {
            if (*p == '\n') ++line;
            previous = *p++;
        }
        if (p != limit_) {
            move_to(p);
            stream_->put_blank_at(next_);
            return;
        }
        if (!move_to(p)) break;
    }
    diag_.report_error(msg::comment_at_end);
}

// Error recovery stops right after the first stop character it passes, even
// when a comment follows it directly: the character is remembered as it
// goes by, not read back from the window.
void Reader::skip_past(int stop) {
    bool passed = false;
    while (!passed && cur() != kEnd) {
        passed = cur() == stop;
        next_char();
    }
}

// A word that is empty, longer than kWordMax or reaches the end of the
// buffer: taken run by run across refills.
std::size_t Reader::scan_word_slowly(char* text) {
    std::size_t length = 0;
    bool consumed = false;
    while (true) {
        const unsigned char* start = next_;
        const unsigned char* p = start;
        while (has_class(*p, kClassWord)) ++p;
        const auto run = static_cast<std::size_t>(p - start);
        if (!consumed) {
            std::memcpy(text, start, kWordMax);
            length = std::min(run, kWordMax);
        } else if (length < kWordMax) {
            const std::size_t take = std::min(run, kWordMax - length);
            std::memcpy(text + length, start, take);
            length += take;
        }
        if (run == 0) break;
        consumed = true;
        if (!move_to(p)) break;
    }
    if (consumed) remove_comment_here();
    return length;
}

std::size_t Reader::scan_string_run(std::string& text, std::size_t maximum) {
    std::size_t copied = 0;
    while (true) {
        const unsigned char* start = next_;
        const auto room = std::min(static_cast<std::size_t>(limit_ - start), maximum - copied);
        const unsigned char* p = start;
        while (p != start + room && !has_class(*p, kClassStringStop)) ++p;
        text.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
        copied += static_cast<std::size_t>(p - start);
        if (!move_to(p)) return copied;
    }
}

void Reader::skip_to_quote() {
    while (true) {
        const auto* quote = static_cast<const unsigned char*>(std::memchr(next_, '"', static_cast<std::size_t>(limit_ - next_)));
        const unsigned char* stop = quote != nullptr ? quote : limit_;
        line += static_cast<int>(std::count(next_, stop, '\n'));
        if (!move_to(stop)) return;
    }
}

}  // namespace oxbuild
