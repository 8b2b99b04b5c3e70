#include "codegen/expressions.hpp"

#include <array>
#include <cstdint>
#include <optional>

#include "codegen/emit.hpp"
#include "driver/compiler.hpp"
#include "symbols/lookup.hpp"

namespace oxbuild {

namespace {

// The operators of one place that begin with a character: the operator of
// that one character, and those of two characters that begin with it. Built
// from the format's table, so that the reader takes exactly the spellings
// every tool prints. Rows of kOperators by index, kNone for none.
struct OperatorsAt {
    static constexpr std::int8_t kNone = -1;
    std::int8_t single = kNone;
    std::array<std::int8_t, 2> pairs{kNone, kNone};
};
using OperatorStarts = std::array<OperatorsAt, 256>;

constexpr OperatorStarts operators_starting(OperatorPlace place) {
    OperatorStarts starts;
    starts.fill(OperatorsAt{});
    for (std::size_t i = 0; i < std::size(kOperators); ++i) {
        const OperatorSpelling& op = kOperators[i];
        if (op.place != place) continue;
        OperatorsAt& at = starts[static_cast<unsigned char>(op.text[0])];
        const auto row = static_cast<std::int8_t>(i);
        if (op.text.size() == 1) at.single = row;
        else at.pairs[at.pairs[0] == OperatorsAt::kNone ? 0 : 1] = row;
    }
    return starts;
}

const OperatorSpelling* row_of(std::int8_t row) { return row == OperatorsAt::kNone ? nullptr : &kOperators[row]; }
constexpr OperatorStarts kBinaryStarts = operators_starting(OperatorPlace::binary);
constexpr OperatorStarts kPrefixStarts = operators_starting(OperatorPlace::prefix);

// Whether any operator of the starts begins with the character: most
// operands begin with none, and are told so by one look.
using OperatorInitials = std::array<bool, 256>;
constexpr OperatorInitials initials_of(const OperatorStarts& starts) {
    OperatorInitials initials{};
    for (std::size_t ch = 0; ch < starts.size(); ++ch) {
        const OperatorsAt& at = starts[ch];
        initials[ch] = at.single != OperatorsAt::kNone || at.pairs[0] != OperatorsAt::kNone ||
                       at.pairs[1] != OperatorsAt::kNone;
    }
    return initials;
}
constexpr OperatorInitials kPrefixInitials = initials_of(kPrefixStarts);
constexpr OperatorInitials kBinaryInitials = initials_of(kBinaryStarts);

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
// The pairs fill from the first, so the first kNone ends them.
const OperatorSpelling* operator_at(const OperatorsAt& at, const Reader& r) {
    for (const std::int8_t pair : at.pairs) {
        if (pair == OperatorsAt::kNone) break;
        if (r.peek_ahead() == static_cast<unsigned char>(kOperators[pair].text[1])) return &kOperators[pair];
    }
    return row_of(at.single);
}

// Every operand may be followed by any two-operand operator, whatever its
// precedence class: the stream keeps source order and the reader of the
// stream applies precedence. So the thirteen levels of the grammar reduce to
// operand { operator operand }. A single '=' or a '!' without '=' is no
// operator and ends the expression.
const OperatorSpelling* binary_operator_at(const Reader& r, unsigned char ch) {
    if (!kBinaryInitials[ch]) return nullptr;
    return operator_at(kBinaryStarts[ch], r);
}

// At most one of + - ! ~, then at most one of #- #+ (a '#' right before
// the sign). Returns the byte past them and the white space after them.
unsigned char compile_prefixes(Compiler& c) {
    Reader& r = c.reader;
    unsigned char ch = r.skip_space_and_peek();
    if (!kPrefixInitials[ch]) [[likely]] return ch;
    if (const OperatorSpelling* sign = row_of(kPrefixStarts[ch].single)) {
        emit_token(c.sink, static_cast<ExprToken>(sign->token));
        r.step_over(1);
        ch = r.skip_space_and_peek();
    }
    if (const OperatorSpelling* hash = operator_at({OperatorsAt::kNone, kPrefixStarts[ch].pairs}, r)) {
        emit_token(c.sink, static_cast<ExprToken>(hash->token));
        r.step_over(2);
        ch = r.skip_space_and_peek();
    }
    return ch;
}

// number -> EXPR_CONST value      variable -> EXPR_VAR <reference>
// At the operand, past its white space. False when there is no word at all.
bool compile_word_operand(Compiler& c) {
    Word& word = c.operand;
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
    if (check_operand(c, word, symbol)) emit_variable_operand(c.sink, symbol->type, symbol->local(), symbol->slot);
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
