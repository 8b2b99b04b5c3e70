// Name lookup for expressions, calls and assignments: the innermost visible
// declaration, with its slot number from the slot tables of pass 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "codegen/bytecode.hpp"

namespace oxbuild {

class Compiler;

struct SymbolInfo {
    TypeCode type;
    std::int32_t slot;  // 0 for a function name, which has none
    int level;          // block level where the name was found
    bool local() const { return level != 0; }
};

std::optional<SymbolInfo> lookup_symbol(Compiler& c, std::string_view name);

}  // namespace oxbuild
