// What the server says about the language: completion items, hover texts,
// signatures and the outline, from the compiler's keyword and host tables
// and from what an analysis heard.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "oxls/analysis.hpp"

namespace oxls {

bool is_word_char(char c);
bool is_event_name(std::string_view name);
bool is_standard_function_name(std::string_view name);
// The parameters of whatever the name calls (a user function, a standard
// function, an event), with their names where known; false for none.
bool parameters_of(const Analysis& a, const std::string& name, std::vector<TypeCode>& types,
                   std::vector<std::string>& names);
// Markdown for a piece of source.
std::string code_block(const std::string& code);

// The name at a byte offset of one of the files (a document may be read
// under several file numbers) and what it names.
struct SymbolAt {
    Span span;
    std::string name;
    const Declaration* declaration = nullptr;
    bool call = false;  // a called name: a standard function or an event when there is no declaration
    std::string path;   // a named file
};
std::optional<SymbolAt> symbol_at(const Analysis& a, const std::vector<int>& files, std::size_t offset);

// Markdown for a hover; empty when there is nothing to say.
std::string describe(const SymbolAt& symbol);

// The directive whose '#' or name stands at the offset: the span from '#'
// to the end of the name, and the name as the compiler took it.
struct DirectiveAt {
    Span span;
    std::string name;
};
std::optional<DirectiveAt> directive_at(const Analysis& a, const std::vector<int>& files, std::size_t offset);
std::string describe_directive(const std::string& name);

struct Signature {
    std::string label;
    std::vector<std::pair<int, int>> parameters;  // label offsets in UTF-16 units
    std::string documentation;
    nlohmann::json to_json() const;
};
// A standard function's, an event's or a user function's parameter list.
std::optional<Signature> signature_of(const Analysis& a, const std::string& name);

// Where completion is asked for: the offset in the document (read as the
// files given), the line's text up to the cursor, the protocol range of the
// word at the cursor (which an item replaces), and whether the client takes
// snippets.
struct CompletionPlace {
    std::vector<int> files;
    std::size_t offset = 0;
    std::string_view line_before;
    nlohmann::json word_range;
    bool snippets = false;
};
// What may be written there and begins as the word before the cursor does:
// keywords, and the names declared above it that can be used there.
nlohmann::json completion_items(const Analysis& a, const CompletionPlace& place);

// The document symbols of the files, with each span's range from range_of.
nlohmann::json outline(const Analysis& a, const std::vector<int>& files,
                       const std::function<nlohmann::json(const Span&)>& range_of);

}  // namespace oxls
