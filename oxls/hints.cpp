#include "oxls/hints.hpp"

#include <algorithm>

#include "driver/pass.hpp"
#include "oxls/language.hpp"
#include "oxls/texts.hpp"

namespace oxls {

namespace {

using oxbuild::TokenKind;

std::string_view bytes(const Analysis& a, const TokenRead& t) { return a.text_of(t.file).substr(t.begin, t.end - t.begin); }

bool is_punctuation(const Analysis& a, const TokenRead& t, std::string_view text) {
    return t.kind == TokenKind::punctuation && bytes(a, t) == text;
}

// 1-based, as the compiler counts lines.
int line_of(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    return static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n')) + 1;
}

// The last token of the file that ends at or before the offset.
std::optional<std::size_t> token_before(const Analysis& a, int file, std::size_t offset) {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < a.tokens.size(); ++i)
        if (a.tokens[i].file == file && a.tokens[i].end <= offset) found = i;
    return found;
}

// The name in a message's detail, "... : name".
std::string_view detail_name(std::string_view message) {
    const std::size_t colon = message.rfind(": ");
    return colon == std::string_view::npos ? std::string_view() : message.substr(colon + 2);
}

Span span_of(const TokenRead& t) { return {t.file, t.begin, t.end}; }

// Where the compiler stopped at text it did not read as a token (error
// recovery skips it): the word there, or the one character.
std::optional<std::pair<std::size_t, std::size_t>> text_at(std::string_view text, std::size_t offset) {
    if (offset >= text.size() || text[offset] == ' ' || text[offset] == '\t' || text[offset] == '\r' ||
        text[offset] == '\n')
        return std::nullopt;
    std::size_t end = offset;
    while (end < text.size() && is_word_char(text[end])) ++end;
    return std::pair{offset, std::max(end, offset + 1)};
}

bool at_column_0(std::string_view text, const TokenRead& t) { return t.begin == 0 || text[t.begin - 1] == '\n'; }

// After the ')' at offset: '{' on the line or first on the next one.
bool brace_follows(std::string_view text, std::size_t offset) {
    std::size_t i = offset;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
    if (i < text.size() && text[i] == '\n') {
        ++i;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
    }
    return i < text.size() && text[i] == '{';
}

// name ( ...   at column 0 inside a block, which only a function's header
// or a prototype begins: a type keyword among its first tokens, or a '{'
// after its ')'.
bool starts_top_level_item(const Analysis& a, std::size_t i) {
    const TokenRead& t = a.tokens[i];
    const std::string_view text = a.text_of(t.file);
    if (t.level < 1 || t.kind != TokenKind::word || !at_column_0(text, t) || is_keyword_text(bytes(a, t))) return false;
    if (i + 1 >= a.tokens.size() || !is_punctuation(a, a.tokens[i + 1], "(")) return false;
    for (std::size_t k = i + 2; k < a.tokens.size() && a.tokens[k].file == t.file; ++k) {
        const std::string_view b = bytes(a, a.tokens[k]);
        if (a.tokens[k].kind == TokenKind::word && oxbuild::type_keyword_code(b)) return true;
        if (is_punctuation(a, a.tokens[k], ")")) return brace_follows(text, a.tokens[k].end);
        if (b == ";" || b == "{" || b == "}") return false;
    }
    return false;
}

// The '{' of the function body still open before token i.
std::optional<std::size_t> open_body(const Analysis& a, std::size_t i) {
    for (std::size_t k = i; k-- > 0;)
        if (a.tokens[k].file == a.tokens[i].file && a.tokens[k].level == 0 && is_punctuation(a, a.tokens[k], "{"))
            return k;
    return std::nullopt;
}

void missing_braces(const Analysis& a, oxbuild::MessageStyle style, std::vector<Hint>& out) {
    for (std::size_t i = 0; i < a.tokens.size(); ++i) {
        if (!starts_top_level_item(a, i)) continue;
        const auto body = open_body(a, i);
        const std::string line = body ? std::to_string(line_of(a.text_of(a.tokens[i].file), a.tokens[*body].begin)) : "?";
        out.push_back({span_of(a.tokens[i]), said(say::missing_brace, style, {line}), false, true});
        return;
    }
}

// if ( ... =   where the compiler stopped at a single '='.
bool condition_before(const Analysis& a, int file, std::size_t offset) {
    const auto last = token_before(a, file, offset);
    int depth = 0;
    for (std::size_t k = last ? *last + 1 : 0; k-- > 0;) {
        const TokenRead& t = a.tokens[k];
        if (t.file != file) continue;
        const std::string_view b = bytes(a, t);
        if (b == ";" || b == "{" || b == "}") return false;
        if (b == ")") ++depth;
        if (b == "(" && depth-- == 0) {
            if (k == 0) return false;
            const std::string_view before = bytes(a, a.tokens[k - 1]);
            return before == "if" || before == "while" || before == "elseif";
        }
    }
    return false;
}

void assignments_in_conditions(const Analysis& a, oxbuild::MessageStyle style, std::vector<Hint>& out) {
    const std::string_view syntax = oxbuild::text_in(oxbuild::msg::syntax, style);
    for (const Message& m : a.messages) {
        const std::string_view text = a.text_of(m.file);
        if (m.text != syntax || m.offset >= text.size() || text[m.offset] != '=') continue;
        if (m.offset + 1 < text.size() && text[m.offset + 1] == '=') continue;
        if (condition_before(a, m.file, m.offset))
            out.push_back({{m.file, m.offset, m.offset + 1}, said(say::assignment_in_condition, style), false, true});
    }
}

// return ;  then more of the same block before its '}'.
void unreachable_code(const Analysis& a, oxbuild::MessageStyle style, std::vector<Hint>& out) {
    for (std::size_t i = 0; i + 2 < a.tokens.size(); ++i) {
        const TokenRead& t = a.tokens[i];
        const std::string_view word = bytes(a, t);
        if (t.kind != TokenKind::word || t.level < 1 || (word != "return" && word != "break" && word != "continue"))
            continue;
        if (!is_punctuation(a, a.tokens[i + 1], ";")) continue;
        const TokenRead& first = a.tokens[i + 2];
        if (first.file != t.file || first.level != t.level || is_punctuation(a, first, "}") || is_punctuation(a, first, "#"))
            continue;
        std::size_t last = i + 2;
        while (last + 1 < a.tokens.size() && a.tokens[last + 1].file == t.file && a.tokens[last + 1].level >= t.level &&
               !(a.tokens[last + 1].level == t.level && is_punctuation(a, a.tokens[last + 1], "}")))
            ++last;
        out.push_back({{t.file, first.begin, a.tokens[last].end}, said(say::unreachable, style, {word}), true, false});
        i = last;
    }
}

void unused_locals(const Analysis& a, oxbuild::MessageStyle style, std::vector<Hint>& out) {
    std::vector<bool> used(a.declarations.size(), false);
    for (const Reference& r : a.references)
        if (r.declaration >= 0) used[static_cast<std::size_t>(r.declaration)] = true;
    for (std::size_t i = 0; i < a.declarations.size(); ++i) {
        const Declaration& d = a.declarations[i];
        if (d.kind == DeclarationKind::local && !used[i])
            out.push_back({d.span, said(say::unused_local, style, {d.name}), true, false});
    }
}

}  // namespace

bool is_keyword_text(std::string_view word) {
    for (const auto& names : {oxbuild::type_keyword_names(), oxbuild::statement_keyword_names()})
        if (std::find(names.begin(), names.end(), word) != names.end()) return true;
    return false;
}

std::optional<Span> message_span(const Analysis& a, const Message& m) {
    const std::string_view text = a.text_of(m.file);
    if (text.empty()) return std::nullopt;
    const std::string_view name = detail_name(m.text);
    std::optional<std::size_t> named;
    for (std::size_t i = 0; i < a.tokens.size(); ++i)
        if (a.tokens[i].file == m.file && a.tokens[i].end <= m.offset && bytes(a, a.tokens[i]) == name) named = i;
    const std::size_t at = a.token_at(m.file, m.offset);
    const bool read_there = at < a.tokens.size() && a.tokens[at].begin <= m.offset;
    for (const auto candidate : {named, read_there ? std::optional<std::size_t>(at) : std::nullopt})
        if (candidate && line_of(text, a.tokens[*candidate].begin) == m.line) return span_of(a.tokens[*candidate]);
    if (const auto there = text_at(text, m.offset); there && line_of(text, m.offset) == m.line) return Span{m.file, there->first, there->second};
    const auto before = token_before(a, m.file, m.offset);
    if (before && line_of(text, a.tokens[*before].begin) == m.line) return span_of(a.tokens[*before]);
    return std::nullopt;
}

std::vector<Hint> hints(const Analysis& a, oxbuild::MessageStyle style) {
    std::vector<Hint> out;
    missing_braces(a, style, out);
    assignments_in_conditions(a, style, out);
    unreachable_code(a, style, out);
    unused_locals(a, style, out);
    return out;
}

}  // namespace oxls
