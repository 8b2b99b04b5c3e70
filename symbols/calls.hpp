// Statements inside a function body that begin with a name: calls of user
// and standard functions, and assignments.
#pragma once

#include "lexer/word.hpp"

namespace oxbuild {

class Compiler;

// name ( arguments ) ;   or   name = expression ;
void compile_identifier_statement(Compiler& c, const Word& name);

}  // namespace oxbuild
