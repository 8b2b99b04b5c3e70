#include "codegen/expressions.hpp"

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
const BinaryOperator* binary_operator_at(const Reader& r) {
    static constexpr BinaryOperator kLogicalOr{OP_LOR, 2}, kOr{OP_OR, 1}, kLogicalAnd{OP_LAND, 2}, kAnd{OP_AND, 1},
        kXor{OP_XOR, 1}, kEqual{OP_EQ, 2}, kNotEqual{OP_NE, 2}, kShiftLeft{OP_SHL, 2}, kLessEqual{OP_LE, 2},
        kLess{OP_LT, 1}, kShiftRight{OP_SHR, 2}, kGreaterEqual{OP_GE, 2}, kGreater{OP_GT, 1}, kAdd{OP_ADD, 1},
        kSub{OP_SUB, 1}, kMul{OP_MUL, 1}, kDiv{OP_DIV, 1}, kMod{OP_MOD, 1};
    switch (r.cur()) {
        case '|': return r.ahead() == '|' ? &kLogicalOr : &kOr;
        case '&': return r.ahead() == '&' ? &kLogicalAnd : &kAnd;
        case '^': return &kXor;
        case '=': return r.ahead() == '=' ? &kEqual : nullptr;
        case '!': return r.ahead() == '=' ? &kNotEqual : nullptr;
        case '<': return r.ahead() == '<' ? &kShiftLeft : r.ahead() == '=' ? &kLessEqual : &kLess;
        case '>': return r.ahead() == '>' ? &kShiftRight : r.ahead() == '=' ? &kGreaterEqual : &kGreater;
        case '+': return &kAdd;
        case '-': return &kSub;
        case '*': return &kMul;
        case '/': return &kDiv;
        case '%': return &kMod;
        default: return nullptr;
    }
}

// At most one of + - ! ~, then at most one of #- #+ (a '#' right before
// the sign).
void compile_prefixes(Compiler& c) {
    Reader& r = c.reader;
    r.skip_space();
    switch (r.cur()) {
        case '+': emit_token(c.sink, OP_PLUS); r.next_char(); break;
        case '-': emit_token(c.sink, OP_NEG); r.next_char(); break;
        case '!': emit_token(c.sink, OP_NOT); r.next_char(); break;
        case '~': emit_token(c.sink, OP_COMPL); r.next_char(); break;
        default: break;
    }
    r.skip_space();
    if (r.cur() == '#' && (r.ahead() == '-' || r.ahead() == '+')) {
        emit_token(c.sink, r.ahead() == '-' ? OP_HASH_MINUS : OP_HASH_PLUS);
        r.next_char();
        r.next_char();
    }
}

// number -> EXPR_CONST value      variable -> EXPR_VAR <reference>
// False when there is no word at all.
bool compile_word_operand(Compiler& c) {
    Word word;
    c.lex.read_identifier(word);
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
        emit_token(c.sink, EXPR_VAR);
        emit_variable_reference(c.sink, symbol->type, symbol->local(), symbol->slot);
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
        compile_prefixes(c);
        r.skip_space();
        if (r.cur() == '(') {
            emit_token(c.sink, EXPR_LPAREN);
            r.next_char();
            ++open_parens;
            continue;
        }
        if (!compile_word_operand(c)) return false;
        const BinaryOperator* op = nullptr;
        while (true) {
            r.skip_space();
            op = binary_operator_at(r);
            if (op != nullptr || open_parens == 0) break;
            if (r.cur() != ')') {
                c.diag.report_error(msg::missing_close_paren);
                return false;
            }
            emit_token(c.sink, EXPR_RPAREN);
            r.next_char();
            --open_parens;
        }
        if (op == nullptr) return true;
        emit_token(c.sink, op->token);
        for (int i = 0; i < op->length; ++i) r.next_char();
    }
}

}  // namespace oxbuild
