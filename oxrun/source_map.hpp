// What the compiler knows about a program and the module does not hold:
// where each instruction's statement stands in the sources (the line table)
// and the names of functions and variables. Learnt by compiling the source
// in memory, as a listener of the real compiler; no module file is written.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/bytecode.hpp"

namespace oxrun {

// One instruction: its code address and the place of its statement.
struct LineRow {
    std::int64_t address = 0;
    int file = 0;  // 0 the main source, n the n-th include file
    int line = 0;
    std::int64_t offset = 0;  // byte offset in that file
};

// Variable names by type class and slot: a slot shared by several
// declarations keeps the first name.
using SlotNames = std::array<std::vector<std::string>, oxbuild::kTypeClassCount>;

struct SourceMap {
    std::vector<std::string> files;  // by file number: the name as written
    std::vector<LineRow> lines;      // by address
    std::vector<std::string> functions;  // by user function index
    SlotNames globals;
    std::vector<SlotNames> locals;  // by user function index

    // The row of the instruction that starts at the address, if any.
    const LineRow* line_at(std::int64_t address) const;
    // A variable's name, or nullopt when the source gave it none.
    std::optional<std::string> global_name(oxbuild::TypeCode type, std::uint16_t slot) const;
    std::optional<std::string> local_name(std::size_t function, oxbuild::TypeCode type, std::uint16_t slot) const;
    // "file(line)" of an instruction, or "" when the table has no row for it.
    std::string place_of(std::int64_t address) const;
};

// A source compiled in memory: the module's bytes, or the compiler's
// messages (UTF-8 lines) when it has errors.
struct CompiledSource {
    std::vector<std::uint8_t> module;
    std::shared_ptr<SourceMap> map;
    std::string messages;
    int errors = 0;
    bool opened = true;  // false when the source could not be read
};

// display is the main source's name in messages and the line table.
CompiledSource compile_source(const std::string& path, const std::string& display);

}  // namespace oxrun
