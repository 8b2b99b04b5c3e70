// The server's requests beyond reading a name: references, highlights,
// rename, workspace symbols, semantic tokens, folding, inlay hints, code
// actions and formatting, each from the compiler's reading.
#include <algorithm>
#include <set>

#include "lexer/source_stream.hpp"
#include "oxfmt/diff.hpp"
#include "oxfmt/format.hpp"
#include "oxls/actions.hpp"
#include "oxls/cp932.hpp"
#include "oxls/navigation.hpp"
#include "oxls/presentation.hpp"
#include "oxls/protocol.hpp"
#include "oxls/server.hpp"
#include "oxls/texts.hpp"

namespace oxls {

namespace {

// Protocol enumerations used here.
constexpr int kHighlightText = 1;
constexpr int kHighlightRead = 2;
constexpr int kSymbolFunction = 12;
constexpr int kSymbolVariable = 13;
constexpr int kSymbolConstant = 14;
constexpr int kInlayParameter = 2;

std::string base_name(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

// A protocol range as code page 932 offsets.
std::pair<std::size_t, std::size_t> offsets_of(const SourceText& text, const json& range, PositionUnit unit) {
    return {text.cp932_offset_of(position_from(range.at("start")), unit),
            text.cp932_offset_of(position_from(range.at("end")), unit)};
}

json legend() {
    json types = json::array(), modifiers = json::array();
    for (const auto t : kTokenTypes) types.push_back(t);
    for (const auto m : kTokenModifiers) modifiers.push_back(m);
    return {{"tokenTypes", types}, {"tokenModifiers", modifiers}};
}

int symbol_kind(const Declaration& d) {
    if (d.kind == DeclarationKind::define) return kSymbolConstant;
    return d.kind == DeclarationKind::global ? kSymbolVariable : kSymbolFunction;
}

// Opens include files as the editor holds them, else from disk.
class DocumentOpener final : public oxbuild::SourceOpener {
public:
    explicit DocumentOpener(std::function<std::shared_ptr<const SourceText>(const std::string&)> texts)
        : texts_(std::move(texts)) {}
    std::unique_ptr<oxbuild::SourceStream> open(const std::string& path) override {
        const auto text = texts_(path);
        return text ? oxbuild::SourceStream::from_text(text->cp932()) : nullptr;
    }

private:
    std::function<std::shared_ptr<const SourceText>(const std::string&)> texts_;
};

}  // namespace

json Server::capabilities_of_requests() const {
    return {
        {"referencesProvider", true},
        {"documentHighlightProvider", true},
        {"renameProvider", {{"prepareProvider", true}}},
        {"workspaceSymbolProvider", true},
        {"semanticTokensProvider", {{"legend", legend()}, {"full", true}}},
        {"foldingRangeProvider", true},
        {"inlayHintProvider", true},
        {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
        {"documentFormattingProvider", true},
        {"documentRangeFormattingProvider", true},
    };
}

json Server::references(const json& params) {
    const auto t = target(params);
    if (!t) return json::array();
    const auto key = symbol_key_at(*t->analysis, t->files, t->offset);
    if (!key) return json::array();
    const bool declarations = params.value("/context/includeDeclaration"_json_pointer, true);
    json out = json::array();
    std::set<std::string> seen;
    for (const Occurrence& o : occurrences(*t->analysis, *key)) {
        if (o.declaration && !declarations) continue;
        const json location = location_of(*t->analysis, o.span);
        if (!location.is_null() && seen.insert(location.dump()).second) out.push_back(location);
    }
    return out;
}

json Server::document_highlight(const json& params) {
    const auto t = target(params);
    if (!t) return json::array();
    const auto key = symbol_key_at(*t->analysis, t->files, t->offset);
    json out = json::array();
    if (!key) return out;
    std::set<std::size_t> seen;
    for (const Occurrence& o : occurrences(*t->analysis, *key))
        if (std::find(t->files.begin(), t->files.end(), o.span.file) != t->files.end() && seen.insert(o.span.begin).second)
            out.push_back({{"range", range_of(*t->text, o.span.begin, o.span.end)},
                           {"kind", o.declaration ? kHighlightText : kHighlightRead}});
    return out;
}

json Server::prepare_rename(const json& params) {
    const auto t = target(params);
    if (!t) throw Refusal(said(say::no_name_here, messages_));
    const RenameCheck check = check_rename(*t->analysis, t->files, t->offset, messages_);
    if (!check.span) throw Refusal(check.refusal);
    const std::string name(t->analysis->text_of(check.span->file).substr(check.span->begin, check.span->end - check.span->begin));
    return {{"range", range_of(*t->text, check.span->begin, check.span->end)}, {"placeholder", name}};
}

json Server::rename(const json& params) {
    const auto t = target(params);
    if (!t) throw Refusal(said(say::no_name_here, messages_));
    const RenameCheck check = check_rename(*t->analysis, t->files, t->offset, messages_);
    if (!check.span) throw Refusal(check.refusal);
    const std::string new_name = params.at("newName").get<std::string>();
    if (const std::string why = check_new_name(new_name, messages_); !why.empty()) throw Refusal(why);
    const auto key = symbol_key_at(*t->analysis, t->files, t->offset);
    std::vector<std::pair<Span, std::string>> edits;
    for (const Occurrence& o : occurrences(*t->analysis, *key)) edits.emplace_back(o.span, new_name);
    return edits_to(*t->analysis, edits);
}

// A workspace edit: the changes by URI, each range once.
json Server::edits_to(const Analysis& a, const std::vector<std::pair<Span, std::string>>& edits) const {
    json changes = json::object();
    std::set<std::string> seen;
    for (const auto& [span, text] : edits) {
        const json location = location_of(a, span);
        if (location.is_null() || !seen.insert(location.dump()).second) continue;
        const std::string& uri = location["uri"].get_ref<const std::string&>();
        if (!changes.contains(uri)) changes[uri] = json::array();
        changes[uri].push_back({{"range", location["range"]}, {"newText", text}});
    }
    return {{"changes", changes}};
}

json Server::workspace_symbol(const json& params) {
    flush();
    const std::string query = params.value("query", "");
    json out = json::array();
    std::set<std::string> seen;
    for (const auto& [main, a] : analyses_)
        for (const Declaration* d : workspace_symbols(a, query)) {
            const json location = location_of(a, d->span);
            if (location.is_null() || !seen.insert(d->name + location.dump()).second) continue;
            const std::string& file = a.files[static_cast<std::size_t>(d->span.file)];
            out.push_back({{"name", d->name}, {"kind", symbol_kind(*d)}, {"location", location},
                           {"containerName", base_name(file)}});
        }
    return out;
}

// Five numbers a mark: line and start relative to the mark before, length,
// type, modifiers.
json Server::semantic_tokens(const json& params) {
    const auto t = document_target(params);
    json data = json::array();
    if (!t) return {{"data", data}};
    Position last{0, 0};
    for (const Mark& m : semantic_marks(*t->analysis, t->files)) {
        const Position begin = t->text->position_of_cp932(m.span.begin, unit_);
        const Position end = t->text->position_of_cp932(m.span.end, unit_);
        if (end.line != begin.line || end.character <= begin.character) continue;
        data.push_back(begin.line - last.line);
        data.push_back(begin.line == last.line ? begin.character - last.character : begin.character);
        data.push_back(end.character - begin.character);
        data.push_back(m.type);
        data.push_back(m.modifiers);
        last = begin;
    }
    return {{"data", data}};
}

json Server::folding_ranges(const json& params) {
    const auto t = document_target(params);
    json out = json::array();
    if (!t) return out;
    for (const Fold& f : folds(*t->analysis, t->files)) {
        const int start = t->text->position_of_cp932(f.begin, unit_).line;
        const int end = t->text->position_of_cp932(f.end, unit_).line - (f.comment ? 0 : 1);
        if (end <= start) continue;
        json range = {{"startLine", start}, {"endLine", end}};
        if (f.comment) range["kind"] = "comment";
        out.push_back(range);
    }
    return out;
}

json Server::inlay_hints(const json& params) {
    const auto t = document_target(params);
    json out = json::array();
    if (!t) return out;
    const auto [begin, end] = offsets_of(*t->text, params.at("range"), unit_);
    std::set<std::size_t> seen;
    for (const ArgumentHint& h : changed_arguments(*t->analysis, t->files))
        if (h.at.begin >= begin && h.at.begin <= end && seen.insert(h.at.begin).second)
            out.push_back({{"position", position_json(t->text->position_of_cp932(h.at.begin, unit_))},
                           {"label", h.label}, {"kind", kInlayParameter}, {"paddingRight", true}});
    return out;
}

json Server::code_action(const json& params) {
    const auto t = document_target(params);
    json out = json::array();
    if (!t) return out;
    const auto [begin, end] = offsets_of(*t->text, params.at("range"), unit_);
    for (const Action& action : code_actions(*t->analysis, t->files, begin, end, messages_)) {
        std::vector<std::pair<Span, std::string>> edits;
        for (const Edit& e : action.edits) edits.emplace_back(e.span, e.text);
        json fix = {{"title", action.title}, {"kind", "quickfix"}, {"edit", edits_to(*t->analysis, edits)}};
        if (action.message != nullptr) fix["diagnostics"] = {{{"message", action.message->text}}};
        out.push_back(fix);
    }
    return out;
}

// Line edits from the old text to the new (both code page 932).
json Server::text_edits(const SourceText& text, const std::string& old_cp932, const std::string& new_cp932) const {
    const auto lines = oxfmt::split_lines(old_cp932);
    std::vector<std::size_t> starts{0};
    for (const auto line : lines) starts.push_back(starts.back() + line.size());
    json edits = json::array();
    for (const oxfmt::Hunk& h : oxfmt::line_hunks(old_cp932, new_cp932)) {
        std::string inserted;
        for (const auto line : h.lines) inserted += line;
        edits.push_back({{"range", range_of(text, starts[h.first], starts[h.first + h.count])},
                         {"newText", cp932_to_utf8(inserted)}});
    }
    return edits;
}

json Server::formatting(const json& params) {
    const auto t = document_target(params);
    if (!t) return json::array();
    DocumentOpener opener([this](const std::string& path) { return text_of_path(path); });
    const std::string& source = t->text->cp932();
    const oxfmt::Formatted f =
        oxfmt::format_source(t->document->path, base_name(t->document->path), source, &opener, messages_);
    if (f.status != oxfmt::Formatted::Status::formatted) throw Refusal(said(say::not_formatted, messages_));
    return text_edits(*t->text, source, f.text);
}

json Server::range_formatting(const json& params) {
    const auto t = document_target(params);
    if (!t) return json::array();
    DocumentOpener opener([this](const std::string& path) { return text_of_path(path); });
    oxfmt::Reading reading;
    reading.source = t->text->cp932();
    oxfmt::KeepReading keep(reading);
    const oxfmt::Compiled compiled =
        oxfmt::read_source(t->document->path, base_name(t->document->path), reading.source, keep, &opener, messages_);
    const auto [begin, end] = offsets_of(*t->text, params.at("range"), unit_);
    const auto replacement = compiled.clean ? oxfmt::lay_out_range(reading, begin, end) : std::nullopt;
    if (!replacement) throw Refusal(said(say::not_formatted, messages_));
    if (reading.source.compare(replacement->begin, replacement->end - replacement->begin, replacement->text) == 0)
        return json::array();
    return json::array({{{"range", range_of(*t->text, replacement->begin, replacement->end)},
                         {"newText", cp932_to_utf8(replacement->text)}}});
}

}  // namespace oxls
