#include "oxfmt/layout.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/char_classes.hpp"
#include "format/bytecode.hpp"
#include "platform/platform.hpp"
#include "oxfmt/recorder.hpp"

namespace oxfmt {

namespace {

constexpr int kIndentWidth = 4;        // blanks per level
constexpr int kContinuationLevels = 2;  // a statement's further lines, past its first
constexpr std::size_t kOutputSlack = 64;
constexpr std::size_t kShortCopy = 16;  // copied byte by byte
constexpr std::string_view kBlankRun = "                ";  // indentation written this many at a time
constexpr std::string_view kOff = "oxfmt off";
constexpr std::string_view kOn = "oxfmt on";

// What a token does for the layout.
enum class Role : std::uint8_t {
    plain, open_paren, close_paren, comma, semicolon, block_open, block_close, menu_open, menu_close,
    binary, prefix, assign, reference, hash,
};

constexpr std::size_t kRoleCount = static_cast<std::size_t>(Role::hash) + 1;

// The words the layout of statements looks at.
enum class Keyword : std::uint8_t { none, if_word, while_word, else_word, elseif_word };
constexpr std::array kKeywords{Keyword::none, Keyword::if_word, Keyword::while_word, Keyword::else_word,
                               Keyword::elseif_word};

[[gnu::always_inline]] inline Keyword keyword_of(std::string_view word) {
    switch (word.size()) {
        case 2: return word == "if" ? Keyword::if_word : Keyword::none;
        case 4: return word == "else" ? Keyword::else_word : Keyword::none;
        case 5: return word == "while" ? Keyword::while_word : Keyword::none;
        case 6: return word == "elseif" ? Keyword::elseif_word : Keyword::none;
        default: return Keyword::none;
    }
}

// What goes between two elements (four bytes, so that a table of them is
// indexed by a shift).
struct alignas(4) Sep {
    enum Kind : std::uint8_t { join, space, keep, line_break } kind;
    bool blank = false;         // a blank line of the source may stay
    bool continuation = false;  // a statement's further line
    constexpr bool operator==(const Sep&) const = default;
};

// What the separator between two tokens of the statements (no directive,
// no menu) depends on.
struct CodePair {
    Role ra, rb;
    bool a_outside_parens;  // no parenthesis open around the first
    bool b_top_level;       // the second at block level 0
    Keyword ka, kb;
};

constexpr Sep code_sep(const CodePair& p) {
    const Role ra = p.ra, rb = p.rb;
    if (ra == Role::semicolon && p.a_outside_parens) return {Sep::line_break, true};
    if (ra == Role::block_open || rb == Role::block_close) return {Sep::line_break, false};
    if (ra == Role::block_close)
        return p.kb == Keyword::else_word || p.kb == Keyword::elseif_word ? Sep{Sep::space} : Sep{Sep::line_break, true};
    if (rb == Role::block_open) {
        if (ra == Role::close_paren && p.b_top_level) return {Sep::line_break, false};
        if (ra == Role::close_paren || p.ka == Keyword::else_word) return {Sep::space};
        return {Sep::line_break, true};
    }
    if (rb == Role::semicolon || rb == Role::comma || rb == Role::close_paren || ra == Role::open_paren)
        return {Sep::join};
    if (ra == Role::comma) return {Sep::space};
    if (rb == Role::open_paren) {
        if (p.ka == Keyword::if_word || p.ka == Keyword::while_word || p.ka == Keyword::elseif_word) return {Sep::space};
        // In the statements, the words and only they take the plain role.
        return {ra == Role::plain || ra == Role::prefix ? Sep::join : Sep::space};
    }
    if (ra == Role::prefix || ra == Role::reference) return {Sep::join};
    return {Sep::space};
}

// A statement token's class for code_sep: its role, with what code_sep
// reads beyond the role folded in (a word's keyword, a ';' inside
// parentheses, a '{' inside a block), so that a table by two classes gives
// every separator between statement tokens.
enum SepClass : std::uint8_t {
    kClassIf = kRoleCount, kClassWhile, kClassElse, kClassElseif, kClassSemicolonInParens, kClassBlockOpenInside,
    kSepClassCount
};

constexpr CodePair pair_of_classes(std::size_t a, std::size_t b, bool other_outside, bool other_top) {
    const auto role_of = [](std::size_t c) {
        if (c >= kClassIf && c <= kClassElseif) return Role::plain;
        if (c == kClassSemicolonInParens) return Role::semicolon;
        if (c == kClassBlockOpenInside) return Role::block_open;
        return static_cast<Role>(c);
    };
    const auto keyword_of_class = [](std::size_t c) {
        return c >= kClassIf && c <= kClassElseif ? kKeywords[c - kClassIf + 1] : Keyword::none;
    };
    const Role ra = role_of(a), rb = role_of(b);
    // Where the role alone leaves them unread, the flags take other_*.
    const bool outside = ra == Role::semicolon ? a != kClassSemicolonInParens : other_outside;
    const bool top = rb == Role::block_open ? b != kClassBlockOpenInside : other_top;
    return {ra, rb, outside, top, keyword_of_class(a), keyword_of_class(b)};
}

// Rows a power of two long, so that a row is found by a shift.
constexpr std::size_t kSepRowLength = std::bit_ceil(static_cast<std::size_t>(kSepClassCount));
using CodeSepTable = std::array<std::array<Sep, kSepRowLength>, kSepClassCount>;

constexpr CodeSepTable make_code_seps() {
    CodeSepTable table{};
    for (std::size_t a = 0; a < kSepClassCount; ++a)
        for (std::size_t b = 0; b < kSepClassCount; ++b) table[a][b] = code_sep(pair_of_classes(a, b, true, true));
    return table;
}

// The classes hold all that code_sep reads: the flags they leave out
// change nothing.
constexpr bool classes_are_enough() {
    for (std::size_t a = 0; a < kSepClassCount; ++a)
        for (std::size_t b = 0; b < kSepClassCount; ++b)
            for (const bool outside : {false, true})
                for (const bool top : {false, true})
                    if (!(code_sep(pair_of_classes(a, b, outside, top)) == code_sep(pair_of_classes(a, b, true, true))))
                        return false;
    return true;
}
static_assert(classes_are_enough());

constexpr CodeSepTable kCodeSeps = make_code_seps();

struct Info {
    int directive = -1;       // the serial number of the directive it belongs to
    int directive_level = 0;  // the block level of that directive's '#'
    int depth = 0;            // parentheses around it
    Role role = Role::plain;
    bool code = false;        // neither in a directive nor in a menu
    std::uint8_t sep_class = 0;  // a statement token's SepClass
};

// A token with what the layout knows of it; its text is its bytes in the
// source or a text of its own.
struct Seen {
    Token t;
    Info in;
    Keyword keyword = Keyword::none;
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
        keyword = t.kind == TokenKind::punctuation ? Keyword::none : keyword_of(text);
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

class Layout::Engine final : public TokenSink {
public:
    Engine(std::string_view source, bool place) : source_(source), end_(input_end(source)), place_(place) {
        const std::size_t first_line_end = source.find('\n');
        if (first_line_end != std::string_view::npos && first_line_end > 0 && source[first_line_end - 1] == '\r') {
            eol_ = "\r\n";
            crlf_ = true;
        }
        // Filled once, so its pages are asked to be large before they are touched.
        const std::size_t room = source.size() + source.size() / 4 + kOutputSlack;
        out_.reserve(room);
        oxbuild::platform::advise_large_pages_inside(out_.data(), out_.capacity());
        out_.resize(room);
    }

    void token(const Token& t, std::string_view text) override;
    void comment(const Comment& c) override {
        if (comment_texts_ != nullptr) comment_texts_->emplace_back(source_.substr(c.begin, c.end - c.begin));
        pending_.push_back(c);
    }
    std::vector<std::string>* comment_texts_ = nullptr;
    std::string_view source() const { return source_; }
    Laid finish();
    std::vector<Placed> placed;

private:
    void annotate(Seen& b) const;
    void annotate_directive(Seen& b) const;
    Role code_role(const Seen& b) const;
    [[gnu::always_inline]] Role statement_punctuation_role(const Seen& b) const;

    Sep between_tokens(const Seen& a, const Seen& b) const;
    Sep in_directive(const Seen& a, const Seen& b) const;
    Sep in_menu(const Seen& a, const Seen& b) const;
    static Sep in_code(const Seen& a, const Seen& b);
    static std::uint8_t sep_class_of(const Seen& b);
    Sep decide(const Element& next, const Seen* b, std::size_t newlines) const;
    bool continues() const;
    bool may_continue(const Seen& b) const;
    int indent_of(const Seen* b, bool for_comment) const;

    void lay(const Element& e, const Seen* next_token);
    [[gnu::noinline]] void lay_any_token(const Token& t, std::string_view text);
    [[gnu::always_inline]] bool lay_statement_token(const Token& t, std::string_view text);
    [[gnu::always_inline]] void lay_after_token(const Seen& b);
    void lay_token(const Seen& b);
    bool emit_gap(const Element& next, const Seen* b);
    void emit_line_break(const Element& next, const Seen* b, const Sep& sep, std::size_t newlines);
    [[gnu::always_inline]] void emit_inline(const Sep& sep, std::size_t next_begin);
    [[gnu::always_inline]] void emit_break(std::size_t newlines, int indent);
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
    // Neither the first element, nor in a verbatim region, nor placing, no
    // error, and the last element a token: the next token's short path.
    bool short_path_ = false;
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
    std::string_view eol_ = "\n";
    bool crlf_ = false;  // eol_ is CR LF
    void make_room(std::size_t n) {
        if (out_.size() - used_ < n) out_.resize(2 * out_.size() + n);
    }
    void put(std::string_view bytes) {
        make_room(bytes.size());
        char* at = out_.data() + used_;
        if (bytes.size() <= kShortCopy) for (const char c : bytes) *at++ = c;
        else std::memcpy(at, bytes.data(), bytes.size());
        used_ += bytes.size();
    }
    void put(char c) { put(std::string_view(&c, 1)); }
    // The source's bytes [begin, end), after a blank when blank_first: a
    // short run copied whole in one fixed-size move where the source has
    // the bytes to spare. The blank is written either way, and kept only
    // when asked for, so that no branch is taken on it.
    void put_source(std::size_t begin, std::size_t end, bool blank_first = false) {
        const std::size_t n = end - begin;
        make_room(n + kShortCopy + 1);
        char* at = out_.data() + used_;
        *at = ' ';
        at += blank_first ? 1 : 0;
        if (n <= kShortCopy && begin + kShortCopy <= source_.size()) std::memcpy(at, source_.data() + begin, kShortCopy);
        else std::memcpy(at, source_.data() + begin, n);
        used_ += n + (blank_first ? 1 : 0);
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
    return statement_punctuation_role(b);
}

// Punctuation outside a menu's body.
inline Role Layout::Engine::statement_punctuation_role(const Seen& b) const {
    const Token& t = b.t;
    const char c = b.text.size() == 1 ? b.text[0] : '\0';
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

std::uint8_t Layout::Engine::sep_class_of(const Seen& b) {
    switch (b.in.role) {
        case Role::plain:
            return b.keyword == Keyword::none ? static_cast<std::uint8_t>(Role::plain)
                                              : static_cast<std::uint8_t>(kClassIf + static_cast<int>(b.keyword) - 1);
        case Role::semicolon:
            return b.in.depth == 0 ? static_cast<std::uint8_t>(Role::semicolon) : static_cast<std::uint8_t>(kClassSemicolonInParens);
        case Role::block_open:
            return b.t.level == 0 ? static_cast<std::uint8_t>(Role::block_open) : static_cast<std::uint8_t>(kClassBlockOpenInside);
        default: return static_cast<std::uint8_t>(b.in.role);
    }
}

void Layout::Engine::annotate(Seen& b) const {
    annotate_directive(b);
    if (b.in.directive < 0) b.in.role = code_role(b);
    b.in.depth = depth_;
    b.in.code = b.in.directive < 0 && b.t.menu_depth == 0;
    if (b.in.code) b.in.sep_class = sep_class_of(b);
}

Sep Layout::Engine::in_directive(const Seen& a, const Seen& b) const {
    if (a.in.directive == b.in.directive) return {a.in.role == Role::hash ? Sep::join : Sep::keep};
    return {Sep::line_break, b.in.role != Role::menu_open};
}

Sep Layout::Engine::in_menu(const Seen& a, const Seen& b) const {
    const Role ra = a.in.role, rb = b.in.role;
    if (rb == Role::menu_open || rb == Role::menu_close || ra == Role::menu_open) return {Sep::line_break, false};
    if (ra == Role::menu_close) return {Sep::line_break, true};
    if (b.t.menu_depth > 0 && is_word_token(b.t) && (b.text == "POPUP" || b.text == "MENUITEM"))
        return {Sep::line_break, true};
    if (rb == Role::comma || ra == Role::prefix) return {Sep::join};
    return {Sep::space};
}

Sep Layout::Engine::in_code(const Seen& a, const Seen& b) { return kCodeSeps[a.in.sep_class][b.in.sep_class]; }

// Where a token follows a token, with no comment between.
Sep Layout::Engine::between_tokens(const Seen& a, const Seen& b) const {
    if (a.in.code && b.in.code) return in_code(a, b);
    if (b.in.role == Role::hash) return {Sep::line_break, true};
    if (a.in.directive >= 0) return in_directive(a, b);
    if (a.t.menu_depth > 0 || b.t.menu_depth > 0) return in_menu(a, b);
    return in_code(a, b);
}

// A statement goes on past the last token laid out.
bool Layout::Engine::continues() const {
    if (!have_a_ || !a_->in.code) return false;
    const Role role = a_->in.role;
    if (role == Role::block_open || role == Role::block_close) return false;
    if (role == Role::semicolon && a_->in.depth == 0) return false;
    return !(role == Role::close_paren && a_->in.depth == 0 && a_->t.level == 0);
}

// A statement may go on to a further line before this token.
bool Layout::Engine::may_continue(const Seen& b) const {
    if (!continues() || !b.in.code) return false;
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
Sep Layout::Engine::decide(const Element& next, const Seen* b, std::size_t newlines) const {
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

inline void Layout::Engine::emit_break(std::size_t newlines, int indent) {
    const auto blanks = static_cast<std::size_t>(std::max(indent, 0) * kIndentWidth);
    make_room(newlines * 2 + blanks + kBlankRun.size());
    char* const start = out_.data() + used_;
    char* at = start;
    for (std::size_t n = 0; n < newlines; ++n) {
        if (crlf_) *at++ = '\r';
        *at++ = '\n';
    }
    // A run at a time: the room made above holds the last run's overshoot.
    for (std::size_t done = 0; done < blanks; done += kBlankRun.size())
        std::memcpy(at + done, kBlankRun.data(), kBlankRun.size());
    used_ += static_cast<std::size_t>(at - start) + blanks;
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
    emit_inline(sep, next.begin);
    return true;
}

// A junction kept on its line, before the element at next_begin: a blank,
// the source's own blanks, or nothing.
inline void Layout::Engine::emit_inline(const Sep& sep, std::size_t next_begin) {
    if (sep.kind == Sep::space) return put(' ');
    if (sep.kind == Sep::keep)
        for (std::size_t i = prev_.end; i < next_begin; ++i)
            if (source_[i] != '\r') put(source_[i]);
    // Side by side, two tokens must not read as one.
    if (next_begin == prev_.end) return;
    const char last = last_put();
    if (last != ' ' && last != '\t' && would_join(last, source_[next_begin])) put(' ');
}

// One element after the white space before it; b is the token coming.
void Layout::Engine::lay(const Element& e, const Seen* b) {
    short_path_ = false;
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
    short_path_ = !verbatim_ && !place_ && !e.comment;
}

// A token after a token, as most are, on a short path: no comment or
// verbatim region around it, no placing kept, nothing but white space
// before it. Everything else goes through lay.
void Layout::Engine::lay_token(const Seen& b) {
    if (!short_path_) [[unlikely]]
        return lay({b.t.begin, b.t.end, false}, &b);
    lay_after_token(b);
}

// lay_token's short path.
inline void Layout::Engine::lay_after_token(const Seen& b) {
    const Element e{b.t.begin, b.t.end, false};
    const char* const text = source_.data();
    std::size_t newlines = 0;
    // Most gaps are empty or one blank.
    if (e.begin > prev_.end + 1 || (e.begin == prev_.end + 1 && text[prev_.end] != ' ')) {
        for (std::size_t i = prev_.end; i < e.begin; ++i) {
            const char c = text[i];
            if (c == '\n') ++newlines;
            else if (c != ' ' && c != '\t' && c != '\r') [[unlikely]] return lay(e, &b);
        }
    }
    // decide's rule between two tokens, with the statements' table first.
    Sep sep = a_->in.code && b.in.code ? in_code(*a_, b) : between_tokens(*a_, b);
    if (sep.kind != Sep::line_break && newlines != 0 && (sep.kind == Sep::keep || may_continue(b)))
        sep = {Sep::line_break, false, true};
    // (No element is placed on this path, so starts_statement_ is left.)
    if (sep.kind == Sep::line_break) emit_line_break(e, &b, sep, newlines);
    else if (sep.kind != Sep::space) emit_inline(sep, e.begin);
    put_source(e.begin, e.end, sep.kind == Sep::space);
    prev_ = e;
    prev_line_comment_ = false;
}

void Layout::Engine::flush_comments(const Seen* next_token) {
    for (const Comment& c : pending_) lay({c.begin, c.end, true}, next_token);
    pending_.clear();
}

// Most tokens: a token of the statements (no directive, no menu) after
// one, on the short path, with nothing waiting before it, its bytes its
// text and no '#'. It is annotated as annotate would, with less to test:
// the last token in the statements means no directive is open. False, and
// nothing changed, for any other token.
inline bool Layout::Engine::lay_statement_token(const Token& t, std::string_view text) {
    const bool punctuation = t.kind == TokenKind::punctuation;
    if (!short_path_ || !a_->in.code || t.menu_depth != 0 || !pending_.empty() ||
        text.data() != source_.data() + t.begin || (punctuation && text == "#"))
        return false;
    Seen& b = *b_;
    b.t = t;
    b.text = text;
    b.keyword = punctuation ? Keyword::none : keyword_of(text);
    b.in.directive = -1;
    b.in.directive_level = 0;
    b.in.code = true;
    b.in.role = punctuation ? statement_punctuation_role(b) : Role::plain;
    b.in.depth = depth_;
    b.in.sep_class = sep_class_of(b);
    lay_after_token(b);
    std::swap(a_, b_);
    return true;
}

void Layout::Engine::token(const Token& t, std::string_view text) {
    if (!lay_statement_token(t, text)) [[unlikely]]
        lay_any_token(t, text);
}

void Layout::Engine::lay_any_token(const Token& t, std::string_view text) {
    b_->take(t, text, source_);
    annotate(*b_);
    if (!pending_.empty()) flush_comments(b_);
    lay_token(*b_);
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
    const bool last_quoted =
        have_a_ && !prev_.comment && (a_->t.kind == TokenKind::text || a_->t.kind == TokenKind::file_name);
    const bool open_quote = !first_ && last_quoted && prev_.end == end_;
    if (!first_ && !open_quote) put(eol_);
    put(source_.substr(end_));
    return {result(), {}};
}

Layout::Layout(std::string_view source, bool place) : engine_(std::make_unique<Engine>(source, place)) {}
Layout::~Layout() = default;
void Layout::token(const Token& t, std::string_view text) { engine_->token(t, text); }
void Layout::comment(const Comment& c) { engine_->comment(c); }
Compiled Layout::read(const std::string& path, std::string_view display_name, oxbuild::SourceOpener* opener,
                      oxbuild::MessageStyle style) {
    return read_source_into(path, display_name, engine_->source(), *engine_, opener, style);
}
void Layout::keep_comment_texts(std::vector<std::string>& texts) { engine_->comment_texts_ = &texts; }
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
