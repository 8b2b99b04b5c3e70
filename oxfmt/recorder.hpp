// The compiler's reading of a source heard and handed on in source order
// to a sink of any type: a sink whose type is known where the reading is
// made (the layout's) has its calls made directly, without a virtual call.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/listener.hpp"
#include "oxfmt/reading.hpp"

namespace oxfmt {

namespace recording {
constexpr char kCarriageReturn = '\r';
constexpr int kMainFile = 0;
}  // namespace recording

// Hears the tokens and comments of the main file and the block levels, and
// hands them on in source order. The compiler tells of a comment right
// after a word before the word, and of a defined name's replacement after
// it, so a token waits until the next token is heard, and a comment until
// the tokens before it are handed on.
template <typename Sink>
class Recorder final : public oxbuild::CompileListener {
public:
    Recorder(std::string_view source, Sink& sink)
        : source_(source), end_(input_end(source)), returns_(source.find(recording::kCarriageReturn) != std::string_view::npos),
          more_(returns_), sink_(sink) {}

    bool hears_meaning() const override { return false; }
    void token_read(oxbuild::TokenKind kind, const oxbuild::SourceSpan& span) override;
    void comment_read(const oxbuild::SourceSpan& span) override;
    void define_used(const oxbuild::NameAt& name, std::string_view replacement) override;
    void block_opened(int level, const oxbuild::SourcePoint&) override { level_ = level; }
    void block_closed(int level, const oxbuild::SourcePoint&) override { level_ = level - 1; }
    void resource_declared(oxbuild::ResourceKind kind, const oxbuild::SourcePoint& at, std::int32_t) override {
        if (kind == oxbuild::ResourceKind::menu && at.file_number == recording::kMainFile) menu_pending_ = true;
    }
    // Hands on what still waits.
    void finish();

private:
    std::size_t trimmed_end(std::size_t begin, std::int64_t end) const;
    void note_menu_brace(Token& t);
    void hand_on_comments_before(std::size_t offset);
    void hand_on_token();
    [[gnu::noinline]] void hand_on_token_with_more();

    std::string_view source_;
    std::size_t end_;
    bool returns_;  // the source holds a carriage return somewhere
    // A comment waits, the waiting token has a text of its own, or the
    // source holds a carriage return: the token is handed on the long way.
    bool more_;
    Sink& sink_;
    int level_ = 0;
    bool menu_pending_ = false;
    int menu_depth_ = 0;
    bool waiting_ = false;  // a token waits
    Token token_;
    std::string text_;      // the waiting token's text, when not its bytes
    bool own_text_ = false;
    std::vector<Comment> comments_;  // heard and not yet handed on: from first_comment_
    std::size_t first_comment_ = 0;
};

template <typename Sink>
std::size_t Recorder<Sink>::trimmed_end(std::size_t begin, std::int64_t end) const {
    auto e = std::min(static_cast<std::size_t>(std::max<std::int64_t>(end, 0)), end_);
    if (returns_) [[unlikely]]
        while (e > begin && source_[e - 1] == recording::kCarriageReturn) --e;
    return e;
}

template <typename Sink>
void Recorder<Sink>::hand_on_comments_before(std::size_t offset) {
    for (; first_comment_ < comments_.size() && comments_[first_comment_].begin < offset; ++first_comment_)
        sink_.comment(comments_[first_comment_]);
    if (first_comment_ == comments_.size()) {
        comments_.clear();
        first_comment_ = 0;
    }
}

template <typename Sink>
void Recorder<Sink>::hand_on_token() {
    if (!waiting_) return;
    waiting_ = false;
    // Most tokens: no comment waits, the text is the bytes, no carriage
    // return anywhere.
    if (!more_ && token_.begin <= token_.end) [[likely]]
        return sink_.token(token_, std::string_view(source_.data() + token_.begin, token_.end - token_.begin));
    hand_on_token_with_more();
}

template <typename Sink>
void Recorder<Sink>::hand_on_token_with_more() {
    if (!comments_.empty()) hand_on_comments_before(token_.begin);
    // Comments after this token may still wait; the next token's own text
    // is yet to be heard.
    more_ = returns_ || !comments_.empty();
    if (own_text_) return sink_.token(token_, text_);
    const std::string_view bytes = source_.substr(token_.begin, token_.end - token_.begin);
    if (returns_ && bytes.find(recording::kCarriageReturn) != std::string_view::npos) [[unlikely]] {
        text_.assign(bytes);
        std::erase(text_, recording::kCarriageReturn);
        own_text_ = true;
        return sink_.token(token_, text_);
    }
    sink_.token(token_, bytes);
}

template <typename Sink>
void Recorder<Sink>::token_read(oxbuild::TokenKind kind, const oxbuild::SourceSpan& span) {
    if (span.file_number != recording::kMainFile) return;
    hand_on_token();
    token_.kind = kind;
    token_.begin = static_cast<std::size_t>(span.begin);
    token_.end = trimmed_end(token_.begin, span.end);
    token_.level = static_cast<std::int16_t>(level_);
    if (kind == TokenKind::punctuation) note_menu_brace(token_);
    else token_.menu_depth = static_cast<std::int16_t>(menu_depth_);
    own_text_ = false;
    waiting_ = true;
}

// { of a menu's body, and every brace inside it, up to its closing }.
template <typename Sink>
void Recorder<Sink>::note_menu_brace(Token& t) {
    const char c = source_[t.begin];
    if (c == '{' && (menu_pending_ || menu_depth_ > 0)) {
        menu_pending_ = false;
        t.menu_depth = static_cast<std::int16_t>(++menu_depth_);
        return;
    }
    t.menu_depth = static_cast<std::int16_t>(menu_depth_);
    if (c == '}' && menu_depth_ > 0) --menu_depth_;
}

template <typename Sink>
void Recorder<Sink>::comment_read(const oxbuild::SourceSpan& span) {
    if (span.file_number != recording::kMainFile) return;
    const auto begin = static_cast<std::size_t>(span.begin);
    comments_.push_back({begin, trimmed_end(begin, span.end)});
    more_ = true;
}

template <typename Sink>
void Recorder<Sink>::define_used(const oxbuild::NameAt& name, std::string_view replacement) {
    if (name.end.file_number != recording::kMainFile || !waiting_) return;
    text_.assign(replacement);
    own_text_ = true;
    more_ = true;
}

template <typename Sink>
void Recorder<Sink>::finish() {
    hand_on_token();
    hand_on_comments_before(static_cast<std::size_t>(-1));
}


// Compiles a source with a listener, as read_source does: the messages,
// whether it was clean, and whether the reading went to its end (no fatal
// stop), after which the listener has more to hand on.
struct Heard {
    Compiled compiled;
    bool reached_end = false;
};
Heard compile_heard(const std::string& path, std::string_view display_name, std::string_view bytes,
                    oxbuild::CompileListener& listener, oxbuild::SourceOpener* opener, oxbuild::MessageStyle style);

template <typename Sink>
Compiled read_source_into(const std::string& path, std::string_view display_name, std::string_view bytes,
                          Sink& sink, oxbuild::SourceOpener* opener, oxbuild::MessageStyle style) {
    Recorder<Sink> recorder(bytes, sink);
    Heard heard = compile_heard(path, display_name, bytes, recorder, opener, style);
    if (heard.reached_end) recorder.finish();
    return heard.compiled;
}

}  // namespace oxfmt
