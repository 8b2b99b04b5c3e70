#include "oxls/navigation.hpp"

#include <algorithm>
#include <cctype>
#include <tuple>

#include "core/char_classes.hpp"
#include "lexer/word.hpp"
#include "oxls/hints.hpp"
#include "oxls/language.hpp"
#include "oxls/texts.hpp"

namespace oxls {

namespace {

bool is_event(std::string_view name) { return is_event_name(name); }

bool is_standard_function(std::string_view name) { return is_standard_function_name(name); }

bool is_function(DeclarationKind k) { return k == DeclarationKind::function || k == DeclarationKind::prototype; }

bool is_variable(DeclarationKind k) {
    return k == DeclarationKind::global || k == DeclarationKind::local || k == DeclarationKind::parameter;
}

std::optional<SymbolKey> key_of_declaration(const Analysis& a, const Declaration& d) {
    const int index = static_cast<int>(&d - a.declarations.data());
    if (is_variable(d.kind)) return SymbolKey{SymbolKey::Kind::variable, index, d.name};
    if (is_function(d.kind)) return SymbolKey{SymbolKey::Kind::function, -1, d.name};
    if (d.kind == DeclarationKind::define) return SymbolKey{SymbolKey::Kind::define, -1, d.name};
    return std::nullopt;
}

std::optional<SymbolKey> key_of_reference(const Analysis& a, const Reference& r) {
    switch (r.kind) {
        case ReferenceKind::variable:
            if (r.declaration < 0) return std::nullopt;
            return SymbolKey{SymbolKey::Kind::variable, r.declaration, r.name};
        case ReferenceKind::call:
            if (a.function_named(r.name) != nullptr || is_event(r.name))
                return SymbolKey{SymbolKey::Kind::function, -1, r.name};
            if (is_standard_function(r.name)) return SymbolKey{SymbolKey::Kind::standard_function, -1, r.name};
            return std::nullopt;
        case ReferenceKind::define: return SymbolKey{SymbolKey::Kind::define, -1, r.name};
        case ReferenceKind::file: return std::nullopt;
    }
    return std::nullopt;
}

bool declares(const SymbolKey& key, const Analysis& a, std::size_t i) {
    const Declaration& d = a.declarations[i];
    switch (key.kind) {
        case SymbolKey::Kind::variable: return static_cast<int>(i) == key.declaration;
        case SymbolKey::Kind::function: return is_function(d.kind) && d.name == key.name;
        case SymbolKey::Kind::define: return d.kind == DeclarationKind::define && d.name == key.name;
        case SymbolKey::Kind::standard_function: return false;
    }
    return false;
}

bool uses(const SymbolKey& key, const Analysis& a, const Reference& r) {
    const auto k = key_of_reference(a, r);
    return k && k->kind == key.kind && k->name == key.name && k->declaration == key.declaration;
}

std::string_view spelled(const Analysis& a, const Span& s) { return a.text_of(s.file).substr(s.begin, s.end - s.begin); }

// The word token at the offset, as the compiler read it.
std::string_view word_at(const Analysis& a, const std::vector<int>& files, std::size_t offset) {
    for (const TokenRead& t : a.tokens)
        if (std::find(files.begin(), files.end(), t.file) != files.end() && t.kind == oxbuild::TokenKind::word &&
            t.begin <= offset && offset <= t.end)
            return spelled(a, {t.file, t.begin, t.end});
    return {};
}

}  // namespace

std::optional<SymbolKey> symbol_key_at(const Analysis& a, const std::vector<int>& files, std::size_t offset) {
    for (const Reference& r : a.references)
        if (std::find(files.begin(), files.end(), r.span.file) != files.end() && r.span.contains(r.span.file, offset))
            return key_of_reference(a, r);
    for (const Declaration& d : a.declarations)
        if (std::find(files.begin(), files.end(), d.span.file) != files.end() && d.span.contains(d.span.file, offset))
            return key_of_declaration(a, d);
    return std::nullopt;
}

std::vector<Occurrence> occurrences(const Analysis& a, const SymbolKey& key) {
    std::vector<Occurrence> found;
    for (std::size_t i = 0; i < a.declarations.size(); ++i)
        if (declares(key, a, i)) found.push_back({a.declarations[i].span, true});
    for (const Reference& r : a.references)
        if (uses(key, a, r)) found.push_back({r.span, false});
    std::sort(found.begin(), found.end(), [](const Occurrence& x, const Occurrence& y) {
        return std::tie(x.span.file, x.span.begin) < std::tie(y.span.file, y.span.begin);
    });
    found.erase(std::unique(found.begin(), found.end(),
                            [](const Occurrence& x, const Occurrence& y) {
                                return x.span.file == y.span.file && x.span.begin == y.span.begin;
                            }),
                found.end());
    return found;
}

RenameCheck check_rename(const Analysis& a, const std::vector<int>& files, std::size_t offset,
                         oxbuild::MessageStyle style) {
    const auto key = symbol_key_at(a, files, offset);
    if (!key) {
        const std::string_view word = word_at(a, files, offset);
        if (!word.empty() && is_keyword_text(word)) return {std::nullopt, said(say::keyword, style, {word})};
        return {std::nullopt, said(say::no_name_here, style)};
    }
    if (key->kind == SymbolKey::Kind::standard_function) return {std::nullopt, said(say::standard_function, style, {key->name})};
    if (key->kind == SymbolKey::Kind::function && is_event(key->name)) return {std::nullopt, said(say::event_name, style, {key->name})};
    std::optional<Span> here;
    for (const Occurrence& o : occurrences(a, *key)) {
        if (spelled(a, o.span) != key->name) return {std::nullopt, said(say::through_define, style, {key->name})};
        if (std::find(files.begin(), files.end(), o.span.file) != files.end() && o.span.contains(o.span.file, offset))
            here = o.span;
    }
    if (!here) return {std::nullopt, said(say::no_name_here, style)};
    return {here, {}};
}

std::string check_new_name(const std::string& name, oxbuild::MessageStyle style) {
    bool ok = !name.empty() && name.size() <= oxbuild::kWordMax && !std::isdigit(static_cast<unsigned char>(name[0]));
    for (const char c : name) ok = ok && oxbuild::has_class(static_cast<unsigned char>(c), oxbuild::kClassWord);
    ok = ok && !is_keyword_text(name) && !is_standard_function(name) && !is_event(name);
    return ok ? std::string() : said(say::bad_new_name, style, {name});
}

std::vector<const Declaration*> workspace_symbols(const Analysis& a, const std::string& query) {
    const auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const std::string wanted = lower(query);
    std::vector<const Declaration*> found;
    for (const Declaration& d : a.declarations) {
        // A function once: its definition, else its first prototype.
        const bool listed = is_function(d.kind) ? a.function_named(d.name) == &d
                                                : d.kind == DeclarationKind::global || d.kind == DeclarationKind::define;
        if (listed && lower(d.name).find(wanted) != std::string::npos) found.push_back(&d);
    }
    return found;
}

}  // namespace oxls
