// The expression compiler: reads one integer expression and emits it, as it
// reads, as the infix token stream (source order, parentheses kept). The
// caller writes the closing EXPR_END.
#pragma once

namespace oxbuild {

class Compiler;

// False when the expression cannot go on (no operand where one is needed, a
// missing ')'); names, str variables and bad numbers are reported and
// compiling goes on with true. Never skips input.
[[nodiscard]] bool compile_expression(Compiler& c);

}  // namespace oxbuild
