#include "oxfmt/reading.hpp"

#include <algorithm>
#include <deque>
#include <new>
#include <sstream>

#include "core/fatal.hpp"
#include "driver/compiler.hpp"
#include "driver/spooled_pass.hpp"
#include "platform/platform.hpp"

namespace oxfmt {

namespace {

constexpr char kEndOfFileMark = 0x1A;
constexpr char kCarriageReturn = '\r';
constexpr int kMainFile = 0;
constexpr char kFatalLine[] = "   Fatal Error\n";

// Hears the tokens and comments of the main file and the block levels, and
// hands them on in source order. The compiler tells of a comment right
// after a word before the word, and of a defined name's replacement after
// it, so a token waits until the next token is heard, and a comment until
// the tokens before it are handed on.
class Recorder final : public oxbuild::CompileListener {
public:
    Recorder(std::string_view source, TokenSink& sink)
        : source_(source), end_(input_end(source)), returns_(source.find(kCarriageReturn) != std::string_view::npos),
          sink_(sink) {}

    void token_read(oxbuild::TokenKind kind, const oxbuild::SourceSpan& span) override;
    void comment_read(const oxbuild::SourceSpan& span) override;
    void define_used(const oxbuild::NameAt& name, std::string_view replacement) override;
    void block_opened(int level, const oxbuild::SourcePoint&) override { level_ = level; }
    void block_closed(int level, const oxbuild::SourcePoint&) override { level_ = level - 1; }
    void resource_declared(oxbuild::ResourceKind kind, const oxbuild::SourcePoint& at, std::int32_t) override {
        if (kind == oxbuild::ResourceKind::menu && at.file_number == kMainFile) menu_pending_ = true;
    }
    // Hands on what still waits.
    void finish();

private:
    std::size_t trimmed_end(std::size_t begin, std::int64_t end) const;
    void note_menu_brace(Token& t);
    void hand_on_comments_before(std::size_t offset);
    void hand_on_token();

    std::string_view source_;
    std::size_t end_;
    bool returns_;  // the source holds a carriage return somewhere
    TokenSink& sink_;
    int level_ = 0;
    bool menu_pending_ = false;
    int menu_depth_ = 0;
    bool waiting_ = false;  // a token waits
    Token token_;
    std::string text_;      // the waiting token's text, when not its bytes
    bool own_text_ = false;
    std::deque<Comment> comments_;
};

std::size_t Recorder::trimmed_end(std::size_t begin, std::int64_t end) const {
    auto e = std::min(static_cast<std::size_t>(std::max<std::int64_t>(end, 0)), end_);
    while (returns_ && e > begin && source_[e - 1] == kCarriageReturn) --e;
    return e;
}

void Recorder::hand_on_comments_before(std::size_t offset) {
    while (!comments_.empty() && comments_.front().begin < offset) {
        sink_.comment(comments_.front());
        comments_.pop_front();
    }
}

void Recorder::hand_on_token() {
    if (!waiting_) return;
    waiting_ = false;
    hand_on_comments_before(token_.begin);
    const std::string_view bytes = source_.substr(token_.begin, token_.end - token_.begin);
    if (returns_ && !own_text_ && bytes.find(kCarriageReturn) != std::string_view::npos) {
        text_.assign(bytes);
        std::erase(text_, kCarriageReturn);
        own_text_ = true;
    }
    sink_.token(token_, own_text_ ? std::string_view(text_) : bytes);
}

void Recorder::token_read(TokenKind kind, const oxbuild::SourceSpan& span) {
    if (span.file_number != kMainFile) return;
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
void Recorder::note_menu_brace(Token& t) {
    const char c = source_[t.begin];
    if (c == '{' && (menu_pending_ || menu_depth_ > 0)) {
        menu_pending_ = false;
        t.menu_depth = static_cast<std::int16_t>(++menu_depth_);
        return;
    }
    t.menu_depth = static_cast<std::int16_t>(menu_depth_);
    if (c == '}' && menu_depth_ > 0) --menu_depth_;
}

void Recorder::comment_read(const oxbuild::SourceSpan& span) {
    if (span.file_number != kMainFile) return;
    const auto begin = static_cast<std::size_t>(span.begin);
    comments_.push_back({begin, trimmed_end(begin, span.end)});
}

void Recorder::define_used(const oxbuild::NameAt& name, std::string_view replacement) {
    if (name.end.file_number != kMainFile || !waiting_) return;
    text_.assign(replacement);
    own_text_ = true;
}

void Recorder::finish() {
    hand_on_token();
    hand_on_comments_before(static_cast<std::size_t>(-1));
}

}  // namespace

bool is_line_comment(std::string_view source, const Comment& c) { return source[c.begin + 1] == '/'; }

std::size_t input_end(std::string_view source) {
    const std::size_t mark = source.find(kEndOfFileMark);
    return mark == std::string_view::npos ? source.size() : mark;
}

void KeepReading::token(const Token& t, std::string_view text) {
    reading_.tokens.push_back(t);
    reading_.texts.emplace_back(text);
}

void KeepReading::comment(const Comment& c) { reading_.comments.push_back(c); }

void Reading::replay(TokenSink& sink) const {
    std::size_t c = 0;
    for (std::size_t t = 0; t < tokens.size(); ++t) {
        for (; c < comments.size() && comments[c].begin < tokens[t].begin; ++c) sink.comment(comments[c]);
        sink.token(tokens[t], texts[t]);
    }
    for (; c < comments.size(); ++c) sink.comment(comments[c]);
}

Compiled read_source(const std::string& path, std::string_view display_name, const std::string& bytes,
                     TokenSink& sink, oxbuild::SourceOpener* opener, oxbuild::MessageStyle style) {
    Recorder recorder(bytes, sink);
    std::ostringstream out;
    oxbuild::Compiler c(out, style);
    c.listen_to_pass_1(&recorder);
    c.opener = opener;
    const auto stream = oxbuild::SourceStream::from_view(bytes);
    c.main_source = stream.get();
    c.main_source_name = display_name;
    c.base_dir = oxbuild::platform::source_directory(path);
    Compiled result;
    try {
        (void)oxbuild::compile_passes(c, *stream);
    } catch (const oxbuild::FatalStop&) {
        result.messages = out.str() + kFatalLine;
        return result;
    } catch (const std::bad_alloc&) {
        result.messages = out.str() + kFatalLine;
        return result;
    }
    recorder.finish();
    result.messages = out.str();
    result.clean = c.diag.error_count() == 0 && c.diag.warning_count() == 0;
    return result;
}

}  // namespace oxfmt
