// Finding a name everywhere the compiler read it: its declarations and uses
// (references, highlights), renaming it, and the names of all open
// documents (workspace symbols).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/messages.hpp"
#include "oxls/analysis.hpp"

namespace oxls {

// What a name at a place stands for.
struct SymbolKey {
    enum class Kind { variable, function, standard_function, define } kind;
    int declaration = -1;  // a variable's
    std::string name;
};

std::optional<SymbolKey> symbol_key_at(const Analysis& a, const std::vector<int>& files, std::size_t offset);

struct Occurrence {
    Span span;
    bool declaration = false;
};

// Every place the compiler read the symbol, in every file of the analysis.
std::vector<Occurrence> occurrences(const Analysis& a, const SymbolKey& key);

// Whether the name at the offset may be renamed: its span, or the reason
// it may not (in the language of the style).
struct RenameCheck {
    std::optional<Span> span;
    std::string refusal;
};
RenameCheck check_rename(const Analysis& a, const std::vector<int>& files, std::size_t offset,
                         oxbuild::MessageStyle style);
// Why a new name cannot be given ("" when it can).
std::string check_new_name(const std::string& name, oxbuild::MessageStyle style);

// Declarations of functions, prototypes, globals and defines whose names
// hold the query (letters in any case).
std::vector<const Declaration*> workspace_symbols(const Analysis& a, const std::string& query);

}  // namespace oxls
