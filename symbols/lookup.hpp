// Name lookup for expressions, calls and assignments: the innermost visible
// declaration, with the slot number it was given when it was declared.
#pragma once

#include <cstdint>
#include <optional>

#include "format/bytecode.hpp"
#include "driver/compiler.hpp"
#include "lexer/word.hpp"

namespace oxbuild {

// Inline: every operand and argument that names a variable comes here.
inline std::optional<SymbolInfo> lookup_symbol(Compiler& c, const Word& name) {
    return c.p().scopes.lookup(name, c.block_level());
}

// Tells the listener of a variable named where the reader stands.
[[gnu::cold]] void tell_variable_use(Compiler& c, const Word& name, const std::optional<SymbolInfo>& symbol);
inline void note_variable_use(Compiler& c, const Word& name, const std::optional<SymbolInfo>& symbol) {
    if (c.meaning_listener != nullptr) [[unlikely]] tell_variable_use(c, name, symbol);
}

// The operand rule: a name in an expression or as an assignment's target
// must be a variable that is no str (strings are no values of an
// expression). Reports a name no scope knows, a str, or a function's name,
// and returns whether the variable can be written.
[[gnu::cold]] void report_bad_operand(Compiler& c, const Word& name, const std::optional<SymbolInfo>& symbol);
[[nodiscard]] inline bool check_operand(Compiler& c, const Word& name, const std::optional<SymbolInfo>& symbol) {
    if (symbol && !is_str_type(symbol->type) && symbol->type != TYPE_FUNCTION) [[likely]] return true;
    report_bad_operand(c, name, symbol);
    return false;
}

// The slot number of a variable declared at the level: its position among
// the globals of its type, or among the locals of its type class in the
// function body being compiled. A name missing from the list gets the list's
// length. Called once per declaration; lookups then read the number from
// the scope entry.
std::int32_t resolve_slot(Compiler& c, TypeCode type, NameId name, int level);

}  // namespace oxbuild
