#include "oxls/presentation.hpp"

#include <algorithm>

#include "oxls/language.hpp"

namespace oxls {

namespace {

using oxbuild::TokenKind;

bool in(const std::vector<int>& files, int file) { return std::find(files.begin(), files.end(), file) != files.end(); }

std::string_view bytes(const Analysis& a, const TokenRead& t) { return a.text_of(t.file).substr(t.begin, t.end - t.begin); }

bool is_punctuation(const Analysis& a, const TokenRead& t, std::string_view text) {
    return t.kind == TokenKind::punctuation && bytes(a, t) == text;
}

// A variable's, parameter's, function's or define's mark.
std::optional<Mark> mark_of(const Declaration& d, const Span& span, int modifiers) {
    switch (d.kind) {
        case DeclarationKind::global: return Mark{span, kVariable, modifiers | kGlobal};
        case DeclarationKind::local: return Mark{span, kVariable, modifiers};
        case DeclarationKind::parameter:
            return Mark{span, kParameter, modifiers | ((d.type & oxbuild::TYPE_BY_REFERENCE) ? kReference : 0)};
        case DeclarationKind::function:
        case DeclarationKind::prototype: return Mark{span, is_event_name(d.name) ? kEvent : kFunction, modifiers};
        case DeclarationKind::define: return Mark{span, kMacro, modifiers};
        default: return std::nullopt;
    }
}

std::optional<Mark> mark_of(const Analysis& a, const Reference& r) {
    switch (r.kind) {
        case ReferenceKind::variable:
            if (r.declaration < 0) return std::nullopt;
            return mark_of(a.declarations[static_cast<std::size_t>(r.declaration)], r.span, 0);
        case ReferenceKind::call:
            if (a.function_named(r.name) != nullptr || is_event_name(r.name))
                return Mark{r.span, is_event_name(r.name) ? kEvent : kFunction, 0};
            if (is_standard_function_name(r.name)) return Mark{r.span, kFunction, kDefaultLibrary};
            return std::nullopt;
        case ReferenceKind::define: return Mark{r.span, kMacro, 0};
        case ReferenceKind::file: return std::nullopt;
    }
    return std::nullopt;
}

// '#' and the directive's name, one mark when they share a line.
void directive_marks(const Analysis& a, const std::vector<int>& files, std::vector<Mark>& marks) {
    for (std::size_t i = 0; i + 1 < a.tokens.size(); ++i) {
        const TokenRead& hash = a.tokens[i];
        const TokenRead& name = a.tokens[i + 1];
        if (!in(files, hash.file) || !is_punctuation(a, hash, "#") || name.file != hash.file || name.kind != TokenKind::word)
            continue;
        const bool one_line = a.text_of(hash.file).substr(hash.end, name.begin - hash.end).find('\n') == std::string_view::npos;
        marks.push_back({{hash.file, one_line ? hash.begin : name.begin, name.end}, kKeyword, 0});
    }
}

}  // namespace

std::vector<Mark> semantic_marks(const Analysis& a, const std::vector<int>& files) {
    std::vector<Mark> marks;
    for (const Declaration& d : a.declarations)
        if (in(files, d.span.file) && d.span.end > d.span.begin)
            if (const auto m = mark_of(d, d.span, kDeclaration)) marks.push_back(*m);
    for (const Reference& r : a.references)
        if (in(files, r.span.file) && r.span.end > r.span.begin)
            if (const auto m = mark_of(a, r)) marks.push_back(*m);
    directive_marks(a, files, marks);
    std::stable_sort(marks.begin(), marks.end(), [](const Mark& x, const Mark& y) { return x.span.begin < y.span.begin; });
    marks.erase(std::unique(marks.begin(), marks.end(),
                            [](const Mark& x, const Mark& y) { return x.span.begin == y.span.begin; }),
                marks.end());
    return marks;
}

std::vector<Fold> folds(const Analysis& a, const std::vector<int>& files) {
    std::vector<Fold> out;
    std::vector<const TokenRead*> open;
    for (const TokenRead& t : a.tokens) {
        if (!in(files, t.file) || t.file != (files.empty() ? 0 : files.front())) continue;
        if (is_punctuation(a, t, "{")) open.push_back(&t);
        if (is_punctuation(a, t, "}") && !open.empty()) {
            out.push_back({t.file, open.back()->begin, t.begin, false});
            open.pop_back();
        }
    }
    const Span* run_start = nullptr;
    const Span* previous = nullptr;
    for (const Span& c : a.comments) {
        if (c.file != (files.empty() ? 0 : files.front())) continue;
        const std::string_view text = a.text_of(c.file);
        const bool line_comment = text[c.begin + 1] == '/';
        if (!line_comment) out.push_back({c.file, c.begin, c.end, true});
        const std::string_view between =
            previous != nullptr && previous->end <= c.begin ? text.substr(previous->end, c.begin - previous->end) : "x";
        const bool continues_run = line_comment && text[previous != nullptr ? previous->begin + 1 : 0] == '/' &&
                                   between.find_first_not_of(" \t\r\n") == std::string_view::npos &&
                                   std::count(between.begin(), between.end(), '\n') == 1;
        if (!continues_run && run_start != nullptr && previous != run_start)
            out.push_back({c.file, run_start->begin, previous->end, true});
        if (!continues_run) run_start = line_comment ? &c : nullptr;
        previous = &c;
    }
    if (run_start != nullptr && previous != run_start) out.push_back({run_start->file, run_start->begin, previous->end, true});
    return out;
}

namespace {

// The first token of each argument of the call whose name is token i.
std::vector<std::size_t> argument_starts(const Analysis& a, std::size_t i) {
    std::vector<std::size_t> starts;
    if (i + 1 >= a.tokens.size() || !is_punctuation(a, a.tokens[i + 1], "(")) return starts;
    int depth = 1;
    bool at_start = true;
    for (std::size_t k = i + 2; k < a.tokens.size() && a.tokens[k].file == a.tokens[i].file && depth > 0; ++k) {
        const std::string_view b = a.tokens[k].kind == TokenKind::punctuation ? bytes(a, a.tokens[k]) : "";
        if (b == ")" && --depth == 0) break;
        if (at_start) starts.push_back(k);
        at_start = b == "," && depth == 1;
        if (b == "(") ++depth;
        if (b == ";") break;
    }
    return starts;
}

}  // namespace

std::vector<ArgumentHint> changed_arguments(const Analysis& a, const std::vector<int>& files) {
    std::vector<ArgumentHint> hints;
    std::vector<TypeCode> types;
    std::vector<std::string> names;
    // The tokens of the files by where they begin, for finding each call's name.
    std::vector<std::pair<std::pair<int, std::size_t>, std::size_t>> by_place;
    for (std::size_t i = 0; i < a.tokens.size(); ++i)
        if (in(files, a.tokens[i].file)) by_place.push_back({{a.tokens[i].file, a.tokens[i].begin}, i});
    std::sort(by_place.begin(), by_place.end());
    for (const Reference& r : a.references) {
        if (r.kind != ReferenceKind::call || !in(files, r.span.file) || !parameters_of(a, r.name, types, names)) continue;
        const auto found = std::lower_bound(by_place.begin(), by_place.end(),
                                            std::pair{std::pair{r.span.file, r.span.begin}, std::size_t{0}});
        if (found == by_place.end() || found->first != std::pair{r.span.file, r.span.begin}) continue;
        const auto starts = argument_starts(a, found->second);
        for (std::size_t k = 0; k < starts.size() && k < types.size(); ++k) {
            if (!(types[k] & oxbuild::TYPE_BY_REFERENCE)) continue;
            const TokenRead& t = a.tokens[starts[k]];
            const std::string label = k < names.size() && !names[k].empty() ? "&" + names[k] + ":" : "&";
            hints.push_back({{t.file, t.begin, t.begin}, label});
        }
    }
    return hints;
}

}  // namespace oxls
