#include "codegen/expressions.hpp"

#include <array>
#include <optional>

#include "codegen/emit.hpp"
#include "driver/compiler.hpp"
#include "symbols/lookup.hpp"

namespace oxbuild {

namespace {

// The operators of one place that begin with a character: the operator of
// that one character, and those of two characters that begin with it. Built
// from the format's table, so that the reader takes exactly the spellings
// every tool prints.
struct OperatorsAt {
    const OperatorSpelling* single = nullptr;
    std::array<const OperatorSpelling*, 2> pairs{};
};
using OperatorStarts = std::array<OperatorsAt, 256>;

// The pairs are counted, not tested for null: a pointer comparison is no
// constant expression where the sanitizers check pointers.
constexpr OperatorStarts operators_starting(OperatorPlace place) {
    OperatorStarts starts{};
    std::array<std::size_t, 256> pairs{};
    for (const OperatorSpelling& op : kOperators) {
        if (op.place != place) continue;
        const auto first = static_cast<unsigned char>(op.text[0]);
        OperatorsAt& at = starts[first];
        if (op.text.size() == 1) at.single = &op;
        else at.pairs[pairs[first]++] = &op;
    }
    return starts;
}
constexpr OperatorStarts kBinaryStarts = operators_starting(OperatorPlace::binary);
constexpr OperatorStarts kPrefixStarts = operators_starting(OperatorPlace::prefix);

// The grammar takes at most one one-character prefix, then at most one
// two-character one: the table must keep them in those two classes.
constexpr bool prefix_classes_as_read() {
    for (const OperatorSpelling& op : kOperators) {
        const int read_as = precedence_class(op.text.size() == 1 ? OP_NEG : OP_HASH_MINUS);
        if (op.place == OperatorPlace::prefix && op.precedence != read_as) return false;
    }
    return true;
}
static_assert(prefix_classes_as_read());

// The longest operator at the reader: a pair when the next character
// completes one ("<<" is a shift, "||" a logical or), else the single one.
const OperatorSpelling* operator_at(const OperatorsAt& at, const Reader& r) {
    for (const OperatorSpelling* pair : at.pairs)
        if (pair != nullptr && r.peek_ahead() == static_cast<unsigned char>(pair->text[1])) return pair;
    return at.single;
}

// Every operand may be followed by any two-operand operator, whatever its
// precedence class: the stream keeps source order and the reader of the
// stream applies precedence. So the thirteen levels of the grammar reduce to
// operand { operator operand }. A single '=' or a '!' without '=' is no
// operator and ends the expression.
const OperatorSpelling* binary_operator_at(const Reader& r, unsigned char ch) {
    return operator_at(kBinaryStarts[ch], r);
}

// At most one of + - ! ~, then at most one of #- #+ (a '#' right before
// the sign). Returns the byte past them and the white space after them.
unsigned char compile_prefixes(Compiler& c) {
    Reader& r = c.reader;
    unsigned char ch = r.skip_space_and_peek();
    if (const OperatorSpelling* sign = kPrefixStarts[ch].single) {
        emit_token(c.sink, static_cast<ExprToken>(sign->token));
        r.step_over(1);
        ch = r.skip_space_and_peek();
    }
    if (const OperatorSpelling* hash = operator_at({nullptr, kPrefixStarts[ch].pairs}, r)) {
        emit_token(c.sink, static_cast<ExprToken>(hash->token));
        r.step_over(2);
        ch = r.skip_space_and_peek();
    }
    return ch;
}

// number -> EXPR_CONST value      variable -> EXPR_VAR <reference>
// At the operand, past its white space. False when there is no word at all.
bool compile_word_operand(Compiler& c) {
    Word word;
    c.lex.read_identifier_here(word);
    if (word.empty()) {
        c.diag.report_error(msg::syntax);
        return false;
    }
    if (is_digit(word.front())) {
        std::int32_t value = 0;
        if (convert_number(word.view(), value)) emit_constant(c.sink, value);
        else c.diag.report_error(msg::bad_constant);
        return true;
    }
    const auto symbol = lookup_symbol(c, word);
    note_variable_use(c, word, symbol);
    if (!symbol) {
        c.diag.report_error_name(msg::symbol_not_found, word.view());
    } else if (is_str_type(symbol->type)) {
        c.diag.report_error(msg::str_in_expression);
    } else if (symbol->type == TYPE_FUNCTION) {
        // A function name is no value.
        c.diag.report_error(msg::type_mismatch);
    } else {
        emit_variable_operand(c.sink, symbol->type, symbol->local(), symbol->slot);
    }
    return true;
}

}  // namespace

// expression -> operand { operator operand }
// operand    -> prefixes ( ( expression ) | number | variable )
// Parentheses are counted rather than recursed into, so no nesting depth
// can exhaust the stack.
bool compile_expression(Compiler& c) {
    Reader& r = c.reader;
    int open_parens = 0;
    while (true) {
        if (compile_prefixes(c) == '(') {
            emit_token(c.sink, EXPR_LPAREN);
            r.step_over(1);
            ++open_parens;
            continue;
        }
        if (!compile_word_operand(c)) return false;
        const OperatorSpelling* op = nullptr;
        while (true) {
            const unsigned char ch = r.skip_space_and_peek();
            op = binary_operator_at(r, ch);
            if (op != nullptr || open_parens == 0) break;
            if (ch != ')') {
                c.diag.report_error(msg::missing_close_paren);
                return false;
            }
            emit_token(c.sink, EXPR_RPAREN);
            r.step_over(1);
            --open_parens;
        }
        if (op == nullptr) return true;
        emit_token(c.sink, static_cast<ExprToken>(op->token));
        r.step_over(static_cast<int>(op->text.size()));
    }
}

}  // namespace oxbuild
