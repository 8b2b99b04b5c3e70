// One compilation pass and the top-level loop. The loop is the only
// statement loop: every item (declaration, statement, directive, '{', '}',
// ';') is dispatched by its first word; the block structure lives in the
// block level, the scope lists and the block records.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "format/bytecode.hpp"

namespace oxbuild {

class Compiler;

// Runs pass 1 (declare, measure, record) or pass 2 (write).
void compile_pass(Compiler& c, int pass);

// The end of pass 2, after the code: the resource sections.
void finish_pass_2(Compiler& c);

// The top-level loop, until the current character is the end of the file;
// include files run a nested loop.
void compile_statements(Compiler& c);

// The names of the type, statement and directive keyword tables, in row
// order, for tools that offer them (the language server).
std::vector<std::string_view> type_keyword_names();
std::vector<std::string_view> statement_keyword_names();
std::vector<std::string_view> directive_keyword_names();

// The type code of a type keyword (int, uint, str).
std::optional<TypeCode> type_keyword_code(std::string_view word);

}  // namespace oxbuild
