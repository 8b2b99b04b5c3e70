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
    if (c.listener != nullptr) [[unlikely]] tell_variable_use(c, name, symbol);
}

// The slot number of a variable declared at the level: its position among
// the globals of its type, or among the locals of its type class in the
// function body being compiled. A name missing from the list gets the list's
// length. Called once per declaration; lookups then read the number from
// the scope entry.
std::int32_t resolve_slot(Compiler& c, TypeCode type, NameId name, int level);

}  // namespace oxbuild
