// Expressions translated once, at load: the infix token stream parsed by
// the precedence classes its operator tokens carry (the one operator table
// of format/bytecode.hpp), into a tree of nodes that evaluate themselves
// with C's meaning over int32_t and uint32_t.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "oxdump/module_model.hpp"
#include "oxrun/program.hpp"

namespace oxrun {

// A fault of the running program; the machine adds where it struck.
class RuntimeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
[[noreturn]] void raise(const std::string& what);

// Expressions nested deeper than this (parentheses and prefixes), or whose
// trees are deeper (each operator of a chain adds one), are not translated:
// reading or evaluating them could exhaust the machine's own stack.
inline constexpr int kMaxExpressionNesting = 1000;
inline constexpr int kMaxExpressionDepth = 4000;

// Where a variable of the expression's function lives, or nullopt when the
// reference names no storage the function has.
using ResolveVariable = std::function<std::optional<VarAt>(const oxdump::VariableRef&)>;

// The tree's root, or nullptr with the reason in problem.
const Node* translate_expression(const oxdump::Expression& expression, const ResolveVariable& resolve,
                                 std::deque<Node>& nodes, std::string& problem);

}  // namespace oxrun
