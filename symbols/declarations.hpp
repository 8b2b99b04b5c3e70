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

}  // namespace oxbuild
