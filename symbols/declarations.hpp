// Statements that introduce names: variable declarations at any level, and
// prototypes and function definitions at the top level. None writes code.
#pragma once

#include <string_view>

#include "format/bytecode.hpp"
#include "lexer/word.hpp"
#include "symbols/name_table.hpp"

namespace oxbuild {

class Compiler;

// int|uint|str name {, name} ;
void compile_declaration(Compiler& c, TypeCode type);

// name ( parameters ) ;   or   name ( parameters ) {  (the body follows as items)
void compile_function_statement(Compiler& c, const Word& name);

// Numbers a local of the function body being compiled (its slot, new or
// given before, is returned); pass 1 also counts it in the function's
// record (the record added last).
std::int32_t add_local(Compiler& c, TypeCode type, NameId name, int level);

}  // namespace oxbuild
