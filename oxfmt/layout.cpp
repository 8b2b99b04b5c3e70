#include "oxfmt/layout.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/char_classes.hpp"
#include "format/bytecode.hpp"

namespace oxfmt {

namespace {

constexpr int kIndentWidth = 4;        // blanks per level
constexpr int kContinuationLevels = 2;  // a statement's further lines, past its first
constexpr std::size_t kOutputSlack = 64;
constexpr std::size_t kShortCopy = 16;  // copied byte by byte
constexpr std::string_view kOff = "oxfmt off";
constexpr std::string_view kOn = "oxfmt on";

// What a token does for the layout.
enum class Role : std::uint8_t {
    plain, open_paren, close_paren, comma, semicolon, block_open, block_close, menu_open, menu_close,
    binary, prefix, assign, reference, hash,
};

struct Info {
    int directive = -1;       // the serial number of the directive it belongs to
    int directive_level = 0;  // the block level of that directive's '#'
    int depth = 0;            // parentheses around it
    Role role = Role::plain;
};

// A token with what the layout knows of it; its text is its bytes in the
// source or a text of its own.
struct Seen {
    Token t;
    Info in;
    std::string_view text;
    std::string own;

    void take(const Token& token, std::string_view token_text, std::string_view source) {
        t = token;
        in = Info{};
        const bool in_source = token_text.data() >= source.data() && token_text.data() < source.data() + source.size();
        if (in_source) {
            text = token_text;
        } else {
            own.assign(token_text);
            text = own;
        }
    }
};

// A token or a comment.
struct Element {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool comment = false;
};

bool is_word_token(const Token& t) { return t.kind != TokenKind::punctuation; }

// Whether a spelling only ever stands before an operand (! ~ #- #+), by
// the one table of operator spellings.
constexpr bool is_prefix_only(std::string_view text) {
    bool prefix = false;
    for (const auto& op : oxbuild::kOperators) {
        if (op.text != text) continue;
        if (op.place == oxbuild::OperatorPlace::binary) return false;
        prefix = true;
    }
    return prefix;
}

// Spellings of one or two ASCII characters, looked up by them.
class Spellings {
public:
    template <typename Keep>
    constexpr explicit Spellings(Keep keep) {
        for (const auto& op : oxbuild::kOperators)
            if (keep(op)) set_[index(op.text)] = true;
    }
    constexpr bool holds(std::string_view text) const {
        return text.size() <= 2 && (text.empty() || static_cast<unsigned char>(text[0]) < kAscii) &&
               (text.size() < 2 || static_cast<unsigned char>(text[1]) < kAscii) && set_[index(text)];
    }

private:
    static constexpr std::size_t kAscii = 128;
    static constexpr std::size_t index(std::string_view text) {
        const auto first = static_cast<std::size_t>(static_cast<unsigned char>(text[0]));
        return text.size() == 1 ? first : kAscii + first * kAscii + static_cast<unsigned char>(text[1]);
    }
    std::array<bool, kAscii + kAscii * kAscii> set_{};
};

constexpr Spellings kPrefixOnly([](const oxbuild::OperatorSpelling& op) { return is_prefix_only(op.text); });
constexpr Spellings kOperatorPairs([](const oxbuild::OperatorSpelling& op) { return op.text.size() == 2; });

bool prefix_only(std::string_view text) { return kPrefixOnly.holds(text); }

// Whether two characters written side by side would read as one token
// (a word, a two-character operator) or open a comment.
bool would_join(char left, char right) {
    const auto l = static_cast<unsigned char>(left);
    const auto r = static_cast<unsigned char>(right);
    if (oxbuild::has_class(l, oxbuild::kClassWord) && oxbuild::has_class(r, oxbuild::kClassWord)) return true;
    if (left == '/' && (right == '/' || right == '*')) return true;
    return kOperatorPairs.holds(std::string_view(std::array{left, right}.data(), 2));
}

std::string_view comment_inner(std::string_view comment) {
    std::string_view inner = comment.substr(2);
    if (comment[1] == '*' && inner.size() >= 2) inner.remove_suffix(2);
    const std::size_t first = inner.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return inner.substr(first, inner.find_last_not_of(" \t") - first + 1);
}

}  // namespace

class Layout::Engine {
public:
    Engine(std::string_view source, bool place) : source_(source), end_(input_end(source)), place_(place) {
        const std::size_t first_line_end = source.find('\n');
        if (first_line_end != std::string_view::npos && first_line_end > 0 && source[first_line_end - 1] == '\r')
            eol_ = "\r\n";
        out_.resize(source.size() + source.size() / 4 + kOutputSlack);
    }

    void token(const Token& t, std::string_view text);
    void comment(const Comment& c) { pending_.push_back(c); }
    Laid finish();
    std::vector<Placed> placed;

private:
    struct Sep {
        enum Kind : std::uint8_t { join, space, keep, line_break } kind;
        bool blank = false;         // a blank line of the source may stay
        bool continuation = false;  // a statement's further line
    };

    void annotate(Seen& b) const;
    void annotate_directive(Seen& b) const;
    Role code_role(const Seen& b) const;

    Sep between_tokens(const Seen& a, const Seen& b) const;
    Sep in_directive(const Seen& a, const Seen& b) const;
    Sep in_menu(const Seen& a, const Seen& b) const;
    Sep in_code(const Seen& a, const Seen& b) const;
    Sep decide(const Element& next, const Seen* b, std::size_t newlines) const;
    bool continues() const;
    bool may_continue(const Seen& b) const;
    int indent_of(const Seen* b, bool for_comment) const;

    void lay(const Element& e, const Seen* next_token);
    bool emit_gap(const Element& next, const Seen* b);
    void emit_line_break(const Element& next, const Seen* b, const Sep& sep, std::size_t newlines);
    void emit_break(std::size_t newlines, int indent);
    void flush_comments(const Seen* next_token);

    std::string_view source_;
    std::size_t end_;
    const bool place_;
    Seen slots_[2];
    Seen* a_ = &slots_[0];    // the last token laid out
    Seen* b_ = &slots_[1];    // the token coming
    bool have_a_ = false;
    std::vector<Comment> pending_;  // comments before the token coming
    Element prev_;            // the last element laid out
    bool first_ = true;
    bool prev_line_comment_ = false;
    bool last_quoted_ = false;  // the last token is a quoted text or file name
    // The directives met: a serial number for each.
    mutable int directives_ = 0;
    mutable int directive_ = -1;
    mutable bool expect_name_ = false;
    mutable int depth_ = 0;
    bool verbatim_ = false;   // inside an "oxfmt off" region
    std::size_t verbatim_from_ = 0, verbatim_out_ = 0;
    // The result: its first used_ bytes.
    std::string out_;
    std::size_t used_ = 0;
    std::string eol_ = "\n";
    void put(std::string_view bytes) {
        if (out_.size() - used_ < bytes.size()) out_.resize(2 * out_.size() + bytes.size());
        char* at = out_.data() + used_;
        if (bytes.size() <= kShortCopy) for (const char c : bytes) *at++ = c;
        else std::memcpy(at, bytes.data(), bytes.size());
        used_ += bytes.size();
    }
    void put(char c) { put(std::string_view(&c, 1)); }
    void put_blanks(std::size_t n) {
        if (out_.size() - used_ < n) out_.resize(2 * out_.size() + n);
        std::memset(out_.data() + used_, ' ', n);
        used_ += n;
    }
    char last_put() const { return used_ == 0 ? ' ' : out_[used_ - 1]; }
    std::string result() {
        out_.resize(used_);
        return std::move(out_);
    }
    std::string error_;
    int statement_indent_ = 0;
    bool starts_statement_ = true;
};

// # name operands: the operands follow the name on its line, blanks
// between them; a menu's body is no part of the line.
void Layout::Engine::annotate_directive(Seen& b) const {
    const Token& t = b.t;
    if (t.kind == TokenKind::punctuation && b.text == "#" && t.menu_depth == 0) {
        directive_ = directives_++;
        expect_name_ = true;
        b.in.directive = directive_;
        b.in.directive_level = t.level;
        b.in.role = Role::hash;
        return;
    }
    const auto same_line = [&] {
        return have_a_ && source_.substr(a_->t.end, t.begin - a_->t.end).find('\n') == std::string_view::npos;
    };
    if (directive_ >= 0 && (expect_name_ || (t.menu_depth == 0 && same_line()))) {
        expect_name_ = false;
        b.in.directive = directive_;
        b.in.directive_level = a_->in.directive_level;
        return;
    }
    directive_ = -1;
}

// Punctuation by its spelling: the brackets, separators and '=' of the
// statements, and the operators.
Role Layout::Engine::code_role(const Seen& b) const {
    const Token& t = b.t;
    if (t.kind != TokenKind::punctuation) return Role::plain;
    const char c = b.text.size() == 1 ? b.text[0] : '\0';
    if (t.menu_depth > 0) return c == '{' ? Role::menu_open : c == '}' ? Role::menu_close
                                 : c == ',' ? Role::comma : Role::prefix;
    switch (c) {
        case '(': ++depth_; return Role::open_paren;
        case ')': depth_ = std::max(depth_ - 1, 0); return Role::close_paren;
        case ',': return Role::comma;
        case ';': return Role::semicolon;
        case '{': return Role::block_open;
        case '}': return Role::block_close;
        case '=': return Role::assign;
        case '&': return t.level == 0 && depth_ > 0 ? Role::reference : Role::binary;
        case '-':
        case '+': {
            const bool after_operand = have_a_ && (is_word_token(a_->t) || a_->in.role == Role::close_paren);
            return after_operand ? Role::binary : Role::prefix;
        }
        default: return prefix_only(b.text) ? Role::prefix : Role::binary;
    }
}

void Layout::Engine::annotate(Seen& b) const {
    annotate_directive(b);
    if (b.in.directive < 0) b.in.role = code_role(b);
    b.in.depth = depth_;
}

Layout::Engine::Sep Layout::Engine::in_directive(const Seen& a, const Seen& b) const {
    if (a.in.directive == b.in.directive) return {a.in.role == Role::hash ? Sep::join : Sep::keep};
    return {Sep::line_break, b.in.role != Role::menu_open};
}

Layout::Engine::Sep Layout::Engine::in_menu(const Seen& a, const Seen& b) const {
    const Role ra = a.in.role, rb = b.in.role;
    if (rb == Role::menu_open || rb == Role::menu_close || ra == Role::menu_open) return {Sep::line_break, false};
    if (ra == Role::menu_close) return {Sep::line_break, true};
    if (b.t.menu_depth > 0 && is_word_token(b.t) && (b.text == "POPUP" || b.text == "MENUITEM"))
        return {Sep::line_break, true};
    if (rb == Role::comma || ra == Role::prefix) return {Sep::join};
    return {Sep::space};
}

namespace {
bool is_keyword(const Seen& s, std::string_view word) { return is_word_token(s.t) && s.text == word; }
}  // namespace

Layout::Engine::Sep Layout::Engine::in_code(const Seen& a, const Seen& b) const {
    const Role ra = a.in.role, rb = b.in.role;
    if (ra == Role::semicolon && a.in.depth == 0) return {Sep::line_break, true};
    if (ra == Role::block_open || rb == Role::block_close) return {Sep::line_break, false};
    if (ra == Role::block_close)
        return is_keyword(b, "else") || is_keyword(b, "elseif") ? Sep{Sep::space} : Sep{Sep::line_break, true};
    if (rb == Role::block_open) {
        if (ra == Role::close_paren && b.t.level == 0) return {Sep::line_break, false};
        if (ra == Role::close_paren || is_keyword(a, "else")) return {Sep::space};
        return {Sep::line_break, true};
    }
    if (rb == Role::semicolon || rb == Role::comma || rb == Role::close_paren || ra == Role::open_paren)
        return {Sep::join};
    if (ra == Role::comma) return {Sep::space};
    if (rb == Role::open_paren) {
        if (is_keyword(a, "if") || is_keyword(a, "while") || is_keyword(a, "elseif")) return {Sep::space};
        return {is_word_token(a.t) || ra == Role::prefix ? Sep::join : Sep::space};
    }
    if (ra == Role::prefix || ra == Role::reference) return {Sep::join};
    return {Sep::space};
}

// Where a token follows a token, with no comment between.
Layout::Engine::Sep Layout::Engine::between_tokens(const Seen& a, const Seen& b) const {
    if (b.in.role == Role::hash) return {Sep::line_break, true};
    if (a.in.directive >= 0) return in_directive(a, b);
    if (a.t.menu_depth > 0 || b.t.menu_depth > 0) return in_menu(a, b);
    return in_code(a, b);
}

namespace {
bool is_code(const Seen& s) { return s.in.directive < 0 && s.t.menu_depth == 0; }
}  // namespace

// A statement goes on past the last token laid out.
bool Layout::Engine::continues() const {
    if (!have_a_ || !is_code(*a_)) return false;
    const Role role = a_->in.role;
    if (role == Role::block_open || role == Role::block_close) return false;
    if (role == Role::semicolon && a_->in.depth == 0) return false;
    return !(role == Role::close_paren && a_->in.depth == 0 && a_->t.level == 0);
}

// A statement may go on to a further line before this token.
bool Layout::Engine::may_continue(const Seen& b) const {
    if (!continues() || !is_code(b)) return false;
    const Role role = b.in.role;
    return role != Role::close_paren && role != Role::semicolon && role != Role::comma && role != Role::block_open;
}

// In levels: a closing brace stands one out from what it closes, a menu's
// body one in from its directive per brace around it; a comment stands as
// what follows it, inside a closing brace.
int Layout::Engine::indent_of(const Seen* b, bool for_comment) const {
    if (b == nullptr) return 0;
    if (b->in.directive >= 0) return b->in.directive_level;
    const Role role = b->in.role;
    const bool closing = !for_comment && (role == Role::block_close || role == Role::menu_close);
    return b->t.level + b->t.menu_depth - (role == Role::menu_open || closing ? 1 : 0);
}

// The junction before next, with newlines line feeds in the source; b is
// the token coming (next itself, or the first token after a comment).
// Between tokens, the style decides, and a line break of the source inside
// a statement stays. Next to a comment: a line comment ends its line, a
// comment on a line of its own stays there, other comments stay inline.
Layout::Engine::Sep Layout::Engine::decide(const Element& next, const Seen* b, std::size_t newlines) const {
    if (!prev_.comment && !next.comment) {
        const Sep sep = between_tokens(*a_, *b);
        if (sep.kind == Sep::line_break || newlines == 0) return sep;
        if (may_continue(*b) || sep.kind == Sep::keep) return {Sep::line_break, false, true};
        return sep;
    }
    if (!prev_line_comment_ && newlines == 0) return {Sep::keep};
    if (!next.comment && have_a_) {
        const Sep sep = between_tokens(*a_, *b);
        if (sep.kind == Sep::line_break) return sep;
    }
    return {Sep::line_break, true, continues()};
}

void Layout::Engine::emit_break(std::size_t newlines, int indent) {
    for (std::size_t n = 0; n < newlines; ++n) put(eol_);
    put_blanks(static_cast<std::size_t>(std::max(indent, 0) * kIndentWidth));
}

void Layout::Engine::emit_line_break(const Element& next, const Seen* b, const Sep& sep, std::size_t newlines) {
    const bool opens = have_a_ && (a_->in.role == Role::block_open || a_->in.role == Role::menu_open);
    const bool closes = b != nullptr && !next.comment &&
                        (b->in.role == Role::block_close || b->in.role == Role::menu_close);
    const bool blank = sep.blank && !sep.continuation && newlines >= 2 && !opens && !closes;
    const int indent = sep.continuation ? statement_indent_ + kContinuationLevels : indent_of(b, next.comment);
    if (!sep.continuation && !next.comment) statement_indent_ = indent;
    emit_break(blank ? 2 : 1, indent);
}

// The white space before next; false when the source holds more than
// white space there.
bool Layout::Engine::emit_gap(const Element& next, const Seen* b) {
    const std::string_view gap = source_.substr(prev_.end, next.begin - prev_.end);
    std::size_t newlines = 0;
    for (const char c : gap) {
        if (c == '\n') ++newlines;
        else if (c != ' ' && c != '\t' && c != '\r') return false;
    }
    const Sep sep = decide(next, b, newlines);
    starts_statement_ = sep.kind == Sep::line_break && !sep.continuation;
    if (sep.kind == Sep::line_break) {
        emit_line_break(next, b, sep, newlines);
        return true;
    }
    if (sep.kind == Sep::space) put(' ');
    if (sep.kind == Sep::keep)
        for (const char c : gap)
            if (c != '\r') put(c);
    // Side by side, two tokens must not read as one.
    const char last = last_put();
    if (!gap.empty() && last != ' ' && last != '\t' && would_join(last, source_[next.begin])) put(' ');
    return true;
}

// One element after the white space before it; b is the token coming.
void Layout::Engine::lay(const Element& e, const Seen* b) {
    if (!error_.empty()) return;
    if (first_ && source_.substr(0, e.begin).find_first_not_of(" \t\r\n") != std::string_view::npos)
        error_ = "text before the first token";
    else if (!first_ && !verbatim_ && !emit_gap(e, b)) error_ = "text between tokens at offset " + std::to_string(prev_.end);
    if (!error_.empty()) return;
    const std::string_view bytes = source_.substr(e.begin, e.end - e.begin);
    const bool off = e.comment && comment_inner(bytes) == kOff;
    const bool on = e.comment && comment_inner(bytes) == kOn;
    if (!verbatim_ && off) {
        verbatim_ = true;
        verbatim_from_ = e.begin;
        verbatim_out_ = used_;
    }
    const std::size_t at = verbatim_ ? verbatim_out_ + (e.begin - verbatim_from_) : used_;
    if (place_) placed.push_back({e.begin, e.end, at, at + (e.end - e.begin), starts_statement_});
    if (verbatim_ && on) {
        put(source_.substr(verbatim_from_, e.end - verbatim_from_));
        verbatim_ = false;
    } else if (!verbatim_) {
        put(bytes);
    }
    prev_ = e;
    prev_line_comment_ = e.comment && is_line_comment(source_, {e.begin, e.end});
    first_ = false;
}

void Layout::Engine::flush_comments(const Seen* next_token) {
    for (const Comment& c : pending_) lay({c.begin, c.end, true}, next_token);
    pending_.clear();
}

void Layout::Engine::token(const Token& t, std::string_view text) {
    last_quoted_ = t.kind == TokenKind::text || t.kind == TokenKind::file_name;
    b_->take(t, text, source_);
    annotate(*b_);
    if (!pending_.empty()) flush_comments(b_);
    lay({t.begin, t.end, false}, b_);
    std::swap(a_, b_);
    have_a_ = true;
}

Laid Layout::Engine::finish() {
    flush_comments(nullptr);
    if (!error_.empty()) return {{}, error_};
    if (verbatim_) {
        put(source_.substr(verbatim_from_));
        return {result(), {}};
    }
    const std::size_t last = first_ ? 0 : prev_.end;
    if (source_.substr(last, end_ - last).find_first_not_of(" \t\r\n") != std::string_view::npos)
        return {{}, "text after the last token"};
    // A quoted text that runs to the end of the input (never closed) would
    // take a line end added after it into itself.
    const bool open_quote = !first_ && !prev_.comment && last_quoted_ && prev_.end == end_;
    if (!first_ && !open_quote) put(eol_);
    put(source_.substr(end_));
    return {result(), {}};
}

Layout::Layout(std::string_view source, bool place) : engine_(std::make_unique<Engine>(source, place)) {}
Layout::~Layout() = default;
void Layout::token(const Token& t, std::string_view text) { engine_->token(t, text); }
void Layout::comment(const Comment& c) { engine_->comment(c); }
Laid Layout::finish() { return engine_->finish(); }
const std::vector<Placed>& Layout::placed() const { return engine_->placed; }

Laid lay_out(const Reading& reading) {
    Layout layout(reading.source, false);
    reading.replay(layout);
    return layout.finish();
}

std::optional<Replacement> lay_out_range(const Reading& reading, std::size_t begin, std::size_t end) {
    Layout layout(reading.source, true);
    reading.replay(layout);
    const Laid laid = layout.finish();
    const std::vector<Placed>& el = layout.placed();
    if (!laid.ok() || el.empty()) return std::nullopt;
    std::size_t first = 0;
    while (first < el.size() && el[first].end <= begin) ++first;
    if (first == el.size()) return std::nullopt;
    std::size_t last = first;
    while (last + 1 < el.size() && el[last + 1].begin < end) ++last;
    while (first > 0 && !el[first].starts_statement) --first;
    while (last + 1 < el.size() && !el[last + 1].starts_statement) ++last;
    Replacement r;
    r.begin = first == 0 ? 0 : el[first - 1].end;
    r.end = last + 1 < el.size() ? el[last + 1].begin : reading.source.size();
    const std::size_t from = first == 0 ? 0 : el[first - 1].out_end;
    const std::size_t to = last + 1 < el.size() ? el[last + 1].out_begin : laid.text.size();
    r.text = laid.text.substr(from, to - from);
    return r;
}

}  // namespace oxfmt
