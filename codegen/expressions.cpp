#include "codegen/expressions.hpp"

#include <optional>

#include "codegen/emit.hpp"
#include "driver/compiler.hpp"
#include "symbols/lookup.hpp"

namespace oxbuild {

namespace {

// A two-operand operator and the number of source characters it takes.
struct BinaryOperator {
    ExprToken token;
    int length;
};

// Every operand may be followed by any two-operand operator, whatever its
// precedence class: the stream keeps source order and the reader of the
// stream applies precedence. So the thirteen levels of the grammar reduce to
// operand { operator operand }, with the longest operator at the reader
// taken: "<<" is a shift, "||" a logical or, "&&" a logical and. A single
// '=' or a '!' without '=' is no operator and ends the expression.
const BinaryOperator* binary_operator_at(const Reader& r, unsigned char ch) {
    static constexpr BinaryOperator kLogicalOr{OP_LOR, 2}, kOr{OP_OR, 1}, kLogicalAnd{OP_LAND, 2}, kAnd{OP_AND, 1},
        kXor{OP_XOR, 1}, kEqual{OP_EQ, 2}, kNotEqual{OP_NE, 2}, kShiftLeft{OP_SHL, 2}, kLessEqual{OP_LE, 2},
        kLess{OP_LT, 1}, kShiftRight{OP_SHR, 2}, kGreaterEqual{OP_GE, 2}, kGreater{OP_GT, 1}, kAdd{OP_ADD, 1},
        kSub{OP_SUB, 1}, kMul{OP_MUL, 1}, kDiv{OP_DIV, 1}, kMod{OP_MOD, 1};
    switch (ch) {
        case '|': return r.peek_ahead() == '|' ? &kLogicalOr : &kOr;
        case '&': return r.peek_ahead() == '&' ? &kLogicalAnd : &kAnd;
        case '^': return &kXor;
        case '=': return r.peek_ahead() == '=' ? &kEqual : nullptr;
        case '!': return r.peek_ahead() == '=' ? &kNotEqual : nullptr;
        case '<': return r.peek_ahead() == '<' ? &kShiftLeft : r.peek_ahead() == '=' ? &kLessEqual : &kLess;
        case '>': return r.peek_ahead() == '>' ? &kShiftRight : r.peek_ahead() == '=' ? &kGreaterEqual : &kGreater;
        case '+': return &kAdd;
        case '-': return &kSub;
        case '*': return &kMul;
        case '/': return &kDiv;
        case '%': return &kMod;
        default: return nullptr;
    }
}

std::optional<ExprToken> prefix_sign(unsigned char ch) {
    switch (ch) {
        case '+': return OP_PLUS;
        case '-': return OP_NEG;
        case '!': return OP_NOT;
        case '~': return OP_COMPL;
        default: return std::nullopt;
    }
}

// At most one of + - ! ~, then at most one of #- #+ (a '#' right before
// the sign). Returns the byte past them and the white space after them.
unsigned char compile_prefixes(Compiler& c) {
    Reader& r = c.reader;
    unsigned char ch = r.skip_space_and_peek();
    if (const std::optional<ExprToken> sign = prefix_sign(ch)) {
        emit_token(c.sink, *sign);
        r.step_over(1);
        ch = r.skip_space_and_peek();
    }
    if (ch == '#' && (r.peek_ahead() == '-' || r.peek_ahead() == '+')) {
        emit_token(c.sink, r.peek_ahead() == '-' ? OP_HASH_MINUS : OP_HASH_PLUS);
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
        const BinaryOperator* op = nullptr;
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
        emit_token(c.sink, op->token);
        r.step_over(op->length);
    }
}

}  // namespace oxbuild
