// What the compiler knows about a program and the module does not hold:
// where each instruction's statement stands in the sources (the line table),
// where each function and variable is declared and how far it reaches, and
// their names. Learnt by compiling the source in memory, as a listener of
// the real compiler; no module file is written and no module byte changes.
// The inspector, the runner and the debug adapter all read this one table.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.hpp"
#include "format/bytecode.hpp"

namespace sourcemap {

// One instruction: its code address and the place of its statement.
struct LineRow {
    std::int64_t address = 0;
    int file = 0;  // 0 the main source, n the n-th include file
    int line = 0;
    std::int64_t offset = 0;  // byte offset in that file
    oxbuild::Opcode opcode = oxbuild::OP_RETURN;
};

// Lines first_line to last_line of one file, both included.
struct SourceRange {
    int file = 0;
    int first_line = 0;
    int last_line = 0;
};

// A source file as the compilation read it: the name as written, the path
// read, and its text split at line feeds (for listings and line numbers).
struct SourceFile {
    std::string name;
    std::string path;
    std::string text;
    std::vector<std::size_t> line_starts;  // offset of each line, from line 1

    void set_text(std::string t);
    // The line (from 1) holding the byte at offset.
    int line_of(std::int64_t offset) const;
    int line_count() const { return static_cast<int>(line_starts.size()); }
    // A line's text without its line end; empty past the end.
    std::string_view line_text(int line) const;
};

// A user function by its index: its name and the lines from its name to its
// closing brace.
struct FunctionInfo {
    std::string name;
    SourceRange range;
};

// A named variable: a global (function -1) or a local or parameter of a user
// function, its type, slot, and the lines from its declaration to the end
// of its scope.
struct VariableInfo {
    std::string name;
    oxbuild::TypeCode type = 0;
    std::int32_t slot = 0;
    int function = -1;
    bool parameter = false;
    SourceRange range;
};

// Variable names by type class and slot: a slot shared by several
// declarations keeps the first name.
using SlotNames = std::array<std::vector<std::string>, oxbuild::kTypeClassCount>;

struct SourceMap {
    std::vector<SourceFile> files;        // by file number
    std::vector<LineRow> lines;           // by address
    std::vector<FunctionInfo> functions;  // by user function index
    std::vector<VariableInfo> variables;  // in declaration order
    SlotNames globals;
    std::vector<SlotNames> locals;  // by user function index

    // The row of the instruction that starts at the address, if any.
    const LineRow* line_at(std::int64_t address) const;
    // The row of the instruction holding the address: the last at or before it.
    const LineRow* row_holding(std::int64_t address) const;
    // A variable's name, or nullopt when the source gave it none.
    std::optional<std::string> global_name(oxbuild::TypeCode type, std::uint16_t slot) const;
    std::optional<std::string> local_name(std::size_t function, oxbuild::TypeCode type, std::uint16_t slot) const;
    // "file(line)" of an instruction, or "" when the table has no row for it.
    std::string place_of(std::int64_t address) const;
    // The first line at or after line in the file that has code, if any.
    std::optional<int> line_with_code(int file, int line) const;
    // The code addresses of the instructions of a line, in order.
    std::vector<std::int64_t> addresses_of(int file, int line) const;
    // The file number of a path or name as written, if the program read it.
    std::optional<int> file_named(std::string_view path) const;
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
CompiledSource compile_source(const std::string& path, const std::string& display,
                              oxbuild::MessageStyle style = oxbuild::MessageStyle::utf8);

// Whether module is exactly the module the source compiled to.
bool same_module(const CompiledSource& compiled, std::span<const std::uint8_t> module);

}  // namespace sourcemap
