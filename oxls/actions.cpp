#include "oxls/actions.hpp"

#include <algorithm>

#include "oxls/hints.hpp"
#include "oxls/language.hpp"
#include "oxls/texts.hpp"

namespace oxls {

namespace {

constexpr char kIndent[] = "    ";

bool in(const std::vector<int>& files, int file) { return std::find(files.begin(), files.end(), file) != files.end(); }

std::string_view detail_name(std::string_view message) {
    const std::size_t colon = message.rfind(": ");
    return colon == std::string_view::npos ? std::string_view() : message.substr(colon + 2);
}

bool begins_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The file's line end: CR LF when its first line ends so.
std::string line_end(std::string_view text) {
    const std::size_t feed = text.find('\n');
    return feed != std::string_view::npos && feed > 0 && text[feed - 1] == '\r' ? "\r\n" : "\n";
}

std::size_t line_start(std::string_view text, std::size_t offset) {
    const std::size_t feed = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    return offset == 0 || feed == std::string_view::npos ? 0 : feed + 1;
}

std::size_t next_line(std::string_view text, std::size_t offset) {
    const std::size_t feed = text.find('\n', offset);
    return feed == std::string_view::npos ? text.size() : feed + 1;
}

// The function whose body holds the offset.
const Declaration* enclosing_function(const Analysis& a, int file, std::size_t offset) {
    for (const Declaration& d : a.declarations)
        if (d.kind == DeclarationKind::function && d.body && d.body->file == file && d.body->begin <= offset &&
            offset <= d.body->end && d.span.file == file)
            return &d;
    return nullptr;
}

Edit insert(int file, std::size_t at, std::string text) { return {{file, at, at}, std::move(text)}; }

// name not found  -> int name; at the top of the function, or before it
void declare(const Analysis& a, const Message& m, oxbuild::MessageStyle style, std::vector<Action>& out) {
    const std::string name(detail_name(m.text));
    const std::string_view text = a.text_of(m.file);
    const Declaration* f = enclosing_function(a, m.file, m.offset);
    if (name.empty() || f == nullptr) return;
    const std::string eol = line_end(text);
    // After the body's '{': on the next line, or right after it when a
    // statement follows it on its line.
    const std::size_t after = next_line(text, f->body->begin);
    const std::string_view rest = text.substr(f->body->begin, after - f->body->begin);
    const bool alone = rest.find_first_not_of(" \t\r\n") == std::string_view::npos;
    out.push_back({said(say::declare_local, style, {name}),
                   {alone ? insert(m.file, after, kIndent + ("int " + name) + ";" + eol)
                          : insert(m.file, f->body->begin, " int " + name + ";")},
                   &m});
    out.push_back({said(say::declare_global, style, {name}),
                   {insert(m.file, line_start(text, f->span.begin), "int " + name + ";" + eol)}, &m});
}

// a call above the definition  -> the definition's header as a prototype
void add_prototype(const Analysis& a, const Message& m, oxbuild::MessageStyle style, std::vector<Action>& out) {
    const std::string name(detail_name(m.text));
    const Declaration* definition = a.function_named(name);
    const Declaration* caller = enclosing_function(a, m.file, m.offset);
    if (definition == nullptr || definition->kind != DeclarationKind::function || caller == nullptr) return;
    const std::string_view text = a.text_of(m.file);
    const std::string prototype = signature_of(a, name)->label + ";" + line_end(text);
    out.push_back({said(say::add_prototype, style, {name}), {insert(m.file, line_start(text, caller->span.begin), prototype)}, &m});
}

// a syntax error at the first token of a later line  -> ';' after the token before
void insert_semicolon(const Analysis& a, const Message& m, oxbuild::MessageStyle style, std::vector<Action>& out) {
    const std::string_view text = a.text_of(m.file);
    const TokenRead* before = nullptr;
    for (const TokenRead& t : a.tokens)
        if (t.file == m.file && t.end <= m.offset) before = &t;
    if (before == nullptr || m.offset > text.size()) return;
    const std::string_view between = text.substr(before->end, m.offset - before->end);
    const std::string_view last = text.substr(before->begin, before->end - before->begin);
    if (between.find('\n') == std::string_view::npos || last == ";" || last == "{" || last == "}") return;
    out.push_back({said(say::insert_semicolon, style), {insert(m.file, before->end, ";")}, &m});
}

// Whether the message stands on a line that [begin, end) touches.
bool touched(std::string_view text, const Message& m, std::size_t begin, std::size_t end) {
    const std::size_t from = line_start(text, std::min(m.offset, text.size()));
    const std::size_t to = next_line(text, std::min(m.offset, text.size()));
    return from <= end && begin <= to;
}

}  // namespace

std::vector<Action> code_actions(const Analysis& a, const std::vector<int>& files, std::size_t begin, std::size_t end,
                                 oxbuild::MessageStyle style) {
    std::vector<Action> out;
    for (const Message& m : a.messages) {
        if (!in(files, m.file) || !touched(a.text_of(m.file), m, begin, end)) continue;
        if (begins_with(m.text, oxbuild::text_in(oxbuild::msg::symbol_not_found, style))) declare(a, m, style, out);
        else if (begins_with(m.text, oxbuild::text_in(oxbuild::msg::no_prototype, style))) add_prototype(a, m, style, out);
        else if (m.text == oxbuild::text_in(oxbuild::msg::syntax, style)) insert_semicolon(a, m, style, out);
    }
    return out;
}

}  // namespace oxls
