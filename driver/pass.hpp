// One compilation pass and the top-level loop. The loop is the only
// statement loop: every item (declaration, statement, directive, '{', '}',
// ';') is dispatched by its first word; the block structure lives in the
// block level, the scope lists and the block records.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "driver/compiler.hpp"
#include "format/bytecode.hpp"

namespace oxbuild {

// Runs pass 1 (declare, measure, record) or pass 2 (write).
void compile_pass(Compiler& c, int pass);

// Starts pass 2, whether it reads the source again or comes from pass 1's
// spool (keeping pass 1's per-pass state): the pass number everywhere, then
// the module header from what pass 1 measured.
void start_pass_2(Compiler& c, Compiler::PerPassState state);

// The end of pass 2, after the code: the resource sections.
void finish_pass_2(Compiler& c);

// The top-level loop, until the current character is the end of the file;
// include files run a nested loop.
void compile_statements(Compiler& c);

// A check that only pass 2 can make: pass 1 records it, pass 2 makes it and
// reports it when it fails. Every message that only pass 2 gives comes from
// here, so the spool decision cannot miss one. subject and name: the called
// function's, for LateCheck::function_body.
void late_check(Compiler& c, LateCheck check, NameId subject = 0, std::string_view name = {});

// The first check pass 1 recorded that fails now, when pass 2 comes from
// the spool: what a second reading would have reported.
std::optional<LateCheck> failing_late_check(Compiler& c);

// The names of the type, statement and directive keyword tables, in row
// order, for tools that offer them (the language server).
std::vector<std::string_view> type_keyword_names();
std::vector<std::string_view> statement_keyword_names();
std::vector<std::string_view> directive_keyword_names();

// The type code of a type keyword (int, uint, str).
std::optional<TypeCode> type_keyword_code(std::string_view word);

}  // namespace oxbuild
