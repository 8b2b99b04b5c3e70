// Prints a module that read_module has accepted as the listing documented
// at the top of printer.cpp and in oxdump(1).
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "oxdump/module_model.hpp"
#include "sourcemap/source_map.hpp"

namespace oxdump {

// With a source map, variables and functions are named as the source names
// them and each statement's source lines come before its instructions.
void print_module(const Module& module, std::string_view file_name, std::ostream& out,
                  const sourcemap::SourceMap* source = nullptr);

// Code page 932 bytes as a double-quoted UTF-8 text: characters converted,
// '"' and '\' escaped, control bytes and bytes that form no character as \xHH.
std::string quote_text(std::string_view cp932);

// A variable as the listing names it: g. or l., the type class and the
// slot (g.int[0], l.str&[1]).
std::string variable_text(const VariableRef& v);

}  // namespace oxdump
