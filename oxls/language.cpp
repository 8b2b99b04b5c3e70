#include "oxls/language.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <unordered_map>

#include "driver/pass.hpp"
#include "format/module_format.hpp"
#include "symbols/host_tables.hpp"

namespace oxls {

namespace {

using json = nlohmann::json;

// Protocol enumerations.
enum CompletionKind { kCompletionFunction = 3, kCompletionVariable = 6, kCompletionKeyword = 14,
                      kCompletionConstant = 21, kCompletionEvent = 23 };
enum SymbolKind { kSymbolFile = 1, kSymbolFunction = 12, kSymbolVariable = 13, kSymbolConstant = 14,
                  kSymbolObject = 19, kSymbolEvent = 24 };
constexpr int kFormatPlain = 1;
constexpr int kFormatSnippet = 2;

// As a declaration spells it: "int", "str &"; a user function's name is a "function".
std::string type_name(TypeCode type) {
    if (type == oxbuild::TYPE_FUNCTION) return "function";
    const std::string_view value = oxbuild::type_spelling(type);
    std::string name = value.empty() ? "?" : std::string(value);
    if (type & oxbuild::TYPE_BY_REFERENCE) name += " " + std::string(oxbuild::kReferenceSpelling);
    return name;
}

std::string parameter_text(TypeCode type, const std::string& name) {
    std::string text = type_name(type);
    if (!name.empty()) text += (type & oxbuild::TYPE_BY_REFERENCE) ? name : " " + name;
    return text;
}

const oxbuild::StandardFunction* standard_function(std::string_view name) {
    for (const auto& f : oxbuild::standard_functions())
        if (f.name == name) return &f;
    return nullptr;
}

// The event's row, or -1.
int event_row(std::string_view name) {
    const auto rows = oxbuild::events();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == name) return static_cast<int>(i);
    return -1;
}

// Where the module keeps the handler of the event row.
std::string handler_place(int row) {
    static constexpr std::size_t kFixedFields[] = {oxbuild::format::kLoadHandlerField,
                                                    oxbuild::format::kUnloadHandlerField,
                                                    oxbuild::format::kIntervalHandlerField};
    static constexpr const char* kFixedNames[] = {"load", "unload", "interval"};
    const auto r = static_cast<std::size_t>(row);
    if (r < oxbuild::kFixedHandlerEvents)
        return std::string("function table, ") + kFixedNames[r] + " handler field (offset " +
               std::to_string(kFixedFields[r]) + ")";
    return "event handler table, entry " + std::to_string(r - oxbuild::kFixedHandlerEvents + 1);
}

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// "Name(int, str &)" with the parameters' offsets in the label.
Signature make_signature(const std::string& name, std::span<const TypeCode> types,
                         const std::vector<std::string>& names) {
    Signature s;
    s.label = name + "(";
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (i != 0) s.label += ", ";
        const int begin = static_cast<int>(s.label.size());
        s.label += parameter_text(types[i], i < names.size() ? names[i] : "");
        s.parameters.emplace_back(begin, static_cast<int>(s.label.size()));
    }
    s.label += ")";
    return s;
}

std::string variable_role(const Declaration& d) {
    switch (d.kind) {
        case DeclarationKind::global: return "global variable";
        case DeclarationKind::parameter: return "parameter of " + d.function;
        default: return "local variable of " + d.function + " (block level " + std::to_string(d.level) + ")";
    }
}

std::string describe_declaration(const Declaration& d) {
    switch (d.kind) {
        case DeclarationKind::global:
        case DeclarationKind::local:
        case DeclarationKind::parameter:
            return code_block(parameter_text(d.type, d.name)) + "\n\n" + variable_role(d) + ", slot " +
                   std::to_string(d.slot) + " of the " + type_name(d.type) + " " +
                   (d.kind == DeclarationKind::global ? "globals" : "locals");
        case DeclarationKind::function:
        case DeclarationKind::prototype: {
            std::string text = code_block(make_signature(d.name, d.parameters, d.parameter_names).label) + "\n\n" +
                               (d.kind == DeclarationKind::function ? "user function" : "prototype");
            if (const int row = event_row(d.name); row >= 0) text += "; handler of an event: " + handler_place(row);
            return text;
        }
        case DeclarationKind::define: return code_block("#define " + d.name + " " + d.replacement);
        case DeclarationKind::include: return "include file `" + d.path + "`";
        case DeclarationKind::bitmap: return "bitmap " + std::to_string(d.number) + ": `" + d.path + "`";
        case DeclarationKind::wave: return "wave " + std::to_string(d.number) + ": `" + d.path + "`";
        case DeclarationKind::menu: return "menu " + std::to_string(d.number);
    }
    return {};
}

// "Name(${1:int}, ${2:str &})" for a call.
std::string call_snippet(const std::string& name, std::span<const TypeCode> types,
                         const std::vector<std::string>& names) {
    std::string text = name + "(";
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (i != 0) text += ", ";
        const std::string shown = i < names.size() && !names[i].empty() ? names[i] : type_name(types[i]);
        text += "${" + std::to_string(i + 1) + ":" + shown + "}";
    }
    return text + ")";
}

// A whole handler definition: "OnClick(int ${1:arg1}, ...)\n{\n\t$0\n}".
std::string handler_snippet(const oxbuild::EventRow& e) {
    std::string text = std::string(e.name) + "(";
    for (std::size_t i = 0; i < e.parameters.size(); ++i) {
        if (i != 0) text += ", ";
        const TypeCode t = e.parameters[i];
        text += type_name(t) + ((t & oxbuild::TYPE_BY_REFERENCE) ? "" : " ");
        text += "${" + std::to_string(i + 1) + ":arg" + std::to_string(i + 1) + "}";
    }
    return text + ")\n{\n\t$0\n}";
}

// The number operand of a resource directive as written ("LOGO" or "1").
std::string spelled_number(const Analysis& a, const Declaration& d) {
    const auto file = static_cast<std::size_t>(d.span.file);
    if (file >= a.texts.size() || !a.texts[file]) return std::to_string(d.number);
    const std::string& text = a.texts[file]->cp932();
    std::size_t begin = d.span.end;
    while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    std::size_t end = begin < text.size() && text[begin] == '-' ? begin + 1 : begin;
    while (end < text.size() && is_word_char(text[end])) ++end;
    return end > begin ? text.substr(begin, end - begin) : std::to_string(d.number);
}

bool in_files(const std::vector<int>& files, int file) {
    return std::find(files.begin(), files.end(), file) != files.end();
}

bool after_hash(std::string_view line_before) {
    std::size_t end = line_before.size();
    while (end > 0 && is_word_char(line_before[end - 1])) --end;
    while (end > 0 && (line_before[end - 1] == ' ' || line_before[end - 1] == '\t')) --end;
    return end > 0 && line_before[end - 1] == '#';
}

}  // namespace

std::string code_block(const std::string& code) { return "```oxs\n" + code + "\n```"; }

bool is_event_name(std::string_view name) { return event_row(name) >= 0; }

bool is_standard_function_name(std::string_view name) { return standard_function(name) != nullptr; }

bool parameters_of(const Analysis& a, const std::string& name, std::vector<TypeCode>& types,
                   std::vector<std::string>& names) {
    if (const Declaration* d = a.function_named(name)) {
        types = d->parameters;
        names = d->parameter_names;
        return true;
    }
    names.clear();
    if (const auto* f = standard_function(name)) {
        types.assign(f->parameters.begin(), f->parameters.end());
        return true;
    }
    if (const int row = event_row(name); row >= 0) {
        const auto& parameters = oxbuild::events()[static_cast<std::size_t>(row)].parameters;
        types.assign(parameters.begin(), parameters.end());
        return true;
    }
    return false;
}

bool is_word_char(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || u == '_';
}

std::optional<SymbolAt> symbol_at(const Analysis& a, const std::vector<int>& files, std::size_t offset) {
    for (const Reference& r : a.references) {
        if (!in_files(files, r.span.file) || !r.span.contains(r.span.file, offset)) continue;
        SymbolAt s;
        s.span = r.span;
        s.name = r.name;
        if (r.declaration >= 0) s.declaration = &a.declarations[static_cast<std::size_t>(r.declaration)];
        s.call = r.kind == ReferenceKind::call;
        s.path = r.path;
        return s;
    }
    for (const Declaration& d : a.declarations)
        if (in_files(files, d.span.file) && d.span.contains(d.span.file, offset))
        {
            SymbolAt s;
            s.span = d.span;
            s.name = d.name;
            s.declaration = &d;
            return s;
        }
    return std::nullopt;
}

std::string describe(const SymbolAt& s) {
    if (!s.path.empty()) return "`" + s.path + "`";
    if (s.call && s.declaration == nullptr) {
        if (const auto* f = standard_function(s.name))
            return code_block(make_signature(s.name, f->parameters, {}).label) + "\n\nstandard function " +
                   std::to_string(f->number) + " (" + hex(f->number) + ")";
        if (const int row = event_row(s.name); row >= 0)
            return code_block(make_signature(s.name, oxbuild::events()[static_cast<std::size_t>(row)].parameters, {})
                                  .label) +
                   "\n\nevent; its handler goes in the " + handler_place(row);
    }
    if (s.declaration != nullptr) return describe_declaration(*s.declaration);
    return {};
}

std::optional<DirectiveAt> directive_at(const Analysis& a, const std::vector<int>& files, std::size_t offset) {
    for (std::size_t i = 0; i + 1 < a.tokens.size(); ++i) {
        const TokenRead& hash = a.tokens[i];
        const TokenRead& name = a.tokens[i + 1];
        if (!in_files(files, hash.file) || hash.kind != oxbuild::TokenKind::punctuation || name.file != hash.file ||
            name.kind != oxbuild::TokenKind::word)
            continue;
        const std::string_view text = a.text_of(hash.file);
        if (text.substr(hash.begin, hash.end - hash.begin) != "#" || offset < hash.begin || offset > name.end) continue;
        return DirectiveAt{{hash.file, hash.begin, name.end}, std::string(text.substr(name.begin, name.end - name.begin))};
    }
    return std::nullopt;
}

std::string describe_directive(const std::string& name) {
    struct Entry {
        const char* name;
        const char* syntax;
        const char* meaning;
    };
    static constexpr Entry kDirectives[] = {
        {"include", "#include \"file\"", "Reads the file in place of the directive; a relative name is taken from "
                                         "the main source's directory."},
        {"define", "#define NAME REPLACEMENT", "From here on the word NAME reads as the word REPLACEMENT (one word, "
                                               "not looked up again)."},
        {"module", "#module \"text\"", "The module's name in its header, at most 32 bytes."},
        {"copyright", "#copyright \"text\"", "The copyright text in the module's header, at most 32 bytes."},
        {"version", "#version \"text\"", "The version text in the module's header, at most 16 bytes."},
        {"comment", "#comment \"text\"", "The comment text in the module's header, at most 64 bytes."},
        {"bitmap", "#bitmap number \"file.bmp\" transparent", "A 256-colour bitmap under a number; transparent "
                                                               "is the index (0 to 255) of its transparent colour."},
        {"wave", "#wave number \"file.wav\"", "A RIFF sound under a number, copied into the module whole."},
        {"menu", "#menu number { POPUP \"text\" { ... } MENUITEM \"text\", id, value }",
         "A menu under a number; identifiers 0 to 100."},
    };
    for (const Entry& e : kDirectives)
        if (name == e.name) return code_block(e.syntax) + "\n\ndirective: " + e.meaning;
    return {};
}

json Signature::to_json() const {
    json params = json::array();
    for (const auto& [begin, end] : parameters) params.push_back({{"label", {begin, end}}});
    json j = {{"label", label}, {"parameters", params}};
    if (!documentation.empty()) j["documentation"] = documentation;
    return j;
}

std::optional<Signature> signature_of(const Analysis& a, const std::string& name) {
    if (const Declaration* d = a.function_named(name)) {
        Signature s = make_signature(name, d->parameters, d->parameter_names);
        s.documentation = d->kind == DeclarationKind::function ? "user function" : "prototype";
        return s;
    }
    if (const auto* f = standard_function(name)) {
        Signature s = make_signature(name, f->parameters, {});
        s.documentation = "standard function " + std::to_string(f->number);
        return s;
    }
    if (const int row = event_row(name); row >= 0)
        return make_signature(name, oxbuild::events()[static_cast<std::size_t>(row)].parameters, {});
    return std::nullopt;
}

namespace {

// The word before the cursor, which items must begin with (letters in any case).
std::string_view word_before(std::string_view line_before) {
    std::size_t begin = line_before.size();
    while (begin > 0 && is_word_char(line_before[begin - 1])) --begin;
    return line_before.substr(begin);
}

bool begins_with(std::string_view label, std::string_view prefix) {
    if (label.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(label[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// Collects the items that begin with the word, once per label.
class Items {
public:
    explicit Items(const CompletionPlace& place) : place_(place), prefix_(word_before(place.line_before)) {}

    void add(const std::string& label, int kind, const std::string& detail, const std::string& snippet = {}) {
        if (!begins_with(label, prefix_) || !labels_.insert(label).second) return;
        const bool as_snippet = place_.snippets && !snippet.empty();
        json item = {{"label", label}, {"kind", kind}, {"detail", detail},
                     {"textEdit", {{"range", place_.word_range}, {"newText", as_snippet ? snippet : label}}},
                     {"insertTextFormat", as_snippet ? kFormatSnippet : kFormatPlain}};
        items_.push_back(std::move(item));
    }
    json take() { return std::move(items_); }

private:
    const CompletionPlace& place_;
    std::string_view prefix_;
    std::set<std::string> labels_;
    json items_ = json::array();
};

// The block level at the offset: after the last token before it.
int level_at(const Analysis& a, int file, std::size_t offset) {
    int level = 0;
    for (const TokenRead& t : a.tokens) {
        if (t.file != file || t.end > offset) continue;
        const std::string_view b = a.text_of(file).substr(t.begin, t.end - t.begin);
        level = t.level + (b == "{" ? 1 : 0) - (b == "}" ? 1 : 0);
    }
    return std::max(level, 0);
}

void add_keywords(Items& items, int level) {
    for (const auto name : oxbuild::type_keyword_names()) items.add(std::string(name), kCompletionKeyword, "type");
    if (level == 0) return;
    for (const auto name : oxbuild::statement_keyword_names()) items.add(std::string(name), kCompletionKeyword, "keyword");
}

void add_host_names(Items& items, int level) {
    if (level == 0) {
        for (const auto& e : oxbuild::events())
            if (e.name != " ")
                items.add(std::string(e.name), kCompletionEvent, make_signature(std::string(e.name), e.parameters, {}).label,
                          handler_snippet(e));
        return;
    }
    for (const auto& f : oxbuild::standard_functions())
        items.add(std::string(f.name), kCompletionFunction, make_signature(std::string(f.name), f.parameters, {}).label,
                  call_snippet(std::string(f.name), f.parameters, {}));
}

// A name declared above the place, visible there.
bool usable(const Declaration& d, const CompletionPlace& place, std::size_t read_at) {
    if (d.read_index > read_at) return false;
    if (d.kind != DeclarationKind::local && d.kind != DeclarationKind::parameter) return true;
    return d.body && in_files(place.files, d.body->file) && d.span.begin <= place.offset && place.offset <= d.body->end;
}

void add_declared(Items& items, const Analysis& a, const CompletionPlace& place, int level) {
    const std::size_t read_at = a.token_at(place.files.empty() ? 0 : place.files.front(), place.offset);
    for (const Declaration& d : a.declarations) {
        if (!usable(d, place, read_at)) continue;
        switch (d.kind) {
            case DeclarationKind::function:
            case DeclarationKind::prototype:
                if (event_row(d.name) < 0)
                    items.add(d.name, kCompletionFunction, make_signature(d.name, d.parameters, d.parameter_names).label,
                              level > 0 ? call_snippet(d.name, d.parameters, d.parameter_names) : std::string());
                break;
            case DeclarationKind::global:
                if (level > 0) items.add(d.name, kCompletionVariable, parameter_text(d.type, "") + " (global)");
                break;
            case DeclarationKind::local:
            case DeclarationKind::parameter:
                items.add(d.name, kCompletionVariable, parameter_text(d.type, "") + " (" +
                                                       (d.kind == DeclarationKind::local ? "local" : "parameter") + ")");
                break;
            case DeclarationKind::define:
                items.add(d.name, kCompletionConstant, "#define " + d.name + " " + d.replacement);
                break;
            default: break;
        }
    }
}

}  // namespace

json completion_items(const Analysis& a, const CompletionPlace& place) {
    Items items(place);
    if (after_hash(place.line_before)) {
        for (const auto name : oxbuild::directive_keyword_names())
            items.add(std::string(name), kCompletionKeyword, "directive");
        return items.take();
    }
    const int level = level_at(a, place.files.empty() ? 0 : place.files.front(), place.offset);
    add_keywords(items, level);
    add_host_names(items, level);
    add_declared(items, a, place, level);
    return items.take();
}

json outline(const Analysis& a, const std::vector<int>& files, const std::function<json(const Span&)>& range_of) {
    json symbols = json::array();
    const auto symbol = [&](const std::string& name, const std::string& detail, int kind, const Span& whole,
                            const Span& selection) {
        return json{{"name", name.empty() ? "?" : name}, {"detail", detail}, {"kind", kind},
                    {"range", range_of(whole)}, {"selectionRange", range_of(selection)}};
    };
    // The parameters and locals of each function, by its name.
    std::unordered_map<std::string, std::vector<const Declaration*>> variables_of;
    for (const Declaration& v : a.declarations)
        if (v.kind == DeclarationKind::parameter || v.kind == DeclarationKind::local) variables_of[v.function].push_back(&v);
    for (const Declaration& d : a.declarations) {
        if (!in_files(files, d.span.file)) continue;
        switch (d.kind) {
            case DeclarationKind::function: {
                Span whole = d.span;
                if (d.body && d.body->file == d.span.file) whole.end = std::max(whole.end, d.body->end);
                json s = symbol(d.name, make_signature(d.name, d.parameters, d.parameter_names).label,
                                event_row(d.name) >= 0 ? kSymbolEvent : kSymbolFunction, whole, d.span);
                json children = json::array();
                for (const Declaration* v : variables_of[d.name])
                    if (v->span.file == d.span.file && v->span.begin >= whole.begin && v->span.end <= whole.end)
                        children.push_back(symbol(v->name, parameter_text(v->type, ""), kSymbolVariable, v->span, v->span));
                s["children"] = std::move(children);
                symbols.push_back(std::move(s));
                break;
            }
            case DeclarationKind::prototype:
                symbols.push_back(symbol(d.name, "prototype " + make_signature(d.name, d.parameters, d.parameter_names).label,
                                         kSymbolFunction, d.span, d.span));
                break;
            case DeclarationKind::global:
                symbols.push_back(symbol(d.name, parameter_text(d.type, ""), kSymbolVariable, d.span, d.span));
                break;
            case DeclarationKind::define:
                symbols.push_back(symbol(d.name, d.replacement, kSymbolConstant, d.span, d.span));
                break;
            case DeclarationKind::include:
                symbols.push_back(symbol(d.name, "#include", kSymbolFile, d.span, d.span));
                break;
            case DeclarationKind::bitmap:
            case DeclarationKind::wave:
            case DeclarationKind::menu: {
                static constexpr const char* kNames[] = {"bitmap", "wave", "menu"};
                const std::string kind = kNames[static_cast<int>(d.kind) - static_cast<int>(DeclarationKind::bitmap)];
                std::string detail = std::to_string(d.number);
                if (!d.path.empty()) detail += "  " + d.path;
                symbols.push_back(symbol(kind + " " + spelled_number(a, d), detail, kSymbolObject, d.span, d.span));
                break;
            }
            default: break;
        }
    }
    return symbols;
}

}  // namespace oxls
