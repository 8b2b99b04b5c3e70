// What a name found by lookup is, for the code generators and for a tool
// that listens to the compilation.
#pragma once

#include <cstdint>

#include "format/bytecode.hpp"

namespace oxbuild {

// Its type code, the block level where it was found, and its slot (0 for a
// function name, which has none).
struct SymbolInfo {
    TypeCode type;
    int level;
    std::int32_t slot;
    bool local() const { return level != 0; }
};

}  // namespace oxbuild
