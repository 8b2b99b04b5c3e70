#include "oxls/language.hpp"

#include <algorithm>
#include <cstdio>
#include <set>

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

json completion(const std::string& label, int kind, const std::string& detail, const std::string& insert = {},
                bool snippet = false) {
    json item = {{"label", label}, {"kind", kind}, {"detail", detail}};
    if (!insert.empty()) {
        item["insertText"] = insert;
        item["insertTextFormat"] = snippet ? kFormatSnippet : kFormatPlain;
    }
    return item;
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

json completion_items(const Analysis& a, const std::vector<int>& files, std::size_t offset,
                      std::string_view line_before) {
    json items = json::array();
    if (after_hash(line_before)) {
        for (const auto name : oxbuild::directive_keyword_names())
            items.push_back(completion(std::string(name), kCompletionKeyword, "directive"));
        return items;
    }
    for (const auto name : oxbuild::type_keyword_names())
        items.push_back(completion(std::string(name), kCompletionKeyword, "type"));
    for (const auto name : oxbuild::statement_keyword_names())
        items.push_back(completion(std::string(name), kCompletionKeyword, "keyword"));
    for (const auto& f : oxbuild::standard_functions())
        items.push_back(completion(std::string(f.name), kCompletionFunction,
                                   make_signature(std::string(f.name), f.parameters, {}).label,
                                   call_snippet(std::string(f.name), f.parameters, {}), true));
    for (const auto& e : oxbuild::events())
        if (e.name != " ")
            items.push_back(completion(std::string(e.name), kCompletionEvent,
                                       make_signature(std::string(e.name), e.parameters, {}).label,
                                       handler_snippet(e), true));
    std::set<std::string> named;
    for (const Declaration& d : a.declarations) {
        switch (d.kind) {
            case DeclarationKind::function:
            case DeclarationKind::prototype:
                if (event_row(d.name) < 0 && named.insert(d.name).second)
                    items.push_back(completion(d.name, kCompletionFunction,
                                               make_signature(d.name, d.parameters, d.parameter_names).label,
                                               call_snippet(d.name, d.parameters, d.parameter_names), true));
                break;
            case DeclarationKind::global:
                if (named.insert(d.name).second)
                    items.push_back(completion(d.name, kCompletionVariable, parameter_text(d.type, "") + " (global)"));
                break;
            case DeclarationKind::local:
            case DeclarationKind::parameter:
                if (d.body && in_files(files, d.body->file) && d.span.begin <= offset && offset <= d.body->end &&
                    named.insert(d.name).second)
                    items.push_back(completion(d.name, kCompletionVariable, parameter_text(d.type, "") + " (" +
                                                   (d.kind == DeclarationKind::local ? "local" : "parameter") + ")"));
                break;
            case DeclarationKind::define:
                if (named.insert(d.name).second)
                    items.push_back(completion(d.name, kCompletionConstant, "#define " + d.name + " " + d.replacement));
                break;
            default: break;
        }
    }
    return items;
}

json outline(const Analysis& a, const std::vector<int>& files, const std::function<json(const Span&)>& range_of) {
    json symbols = json::array();
    const auto symbol = [&](const std::string& name, const std::string& detail, int kind, const Span& whole,
                            const Span& selection) {
        return json{{"name", name.empty() ? "?" : name}, {"detail", detail}, {"kind", kind},
                    {"range", range_of(whole)}, {"selectionRange", range_of(selection)}};
    };
    for (const Declaration& d : a.declarations) {
        if (!in_files(files, d.span.file)) continue;
        switch (d.kind) {
            case DeclarationKind::function: {
                Span whole = d.span;
                if (d.body && d.body->file == d.span.file) whole.end = std::max(whole.end, d.body->end);
                json s = symbol(d.name, make_signature(d.name, d.parameters, d.parameter_names).label,
                                event_row(d.name) >= 0 ? kSymbolEvent : kSymbolFunction, whole, d.span);
                json children = json::array();
                for (const Declaration& v : a.declarations)
                    if ((v.kind == DeclarationKind::parameter || v.kind == DeclarationKind::local) &&
                        v.function == d.name && v.span.file == d.span.file && v.span.begin >= whole.begin &&
                        v.span.end <= whole.end)
                        children.push_back(symbol(v.name, parameter_text(v.type, ""), kSymbolVariable, v.span, v.span));
                s["children"] = children;
                symbols.push_back(s);
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
