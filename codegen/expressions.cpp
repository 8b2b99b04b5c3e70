#include "codegen/expressions.hpp"

#include "codegen/emit.hpp"
#include "driver/compiler.hpp"
#include "symbols/lookup.hpp"

namespace oxbuild {

namespace {

// A two-operand operator: its characters and token. Two-character operators
// need both characters side by side.
struct BinaryOperator {
    char first;
    char second;       // '\0' for one character
    char not_followed;  // a one-character operator must not be followed by this ('\0': any)
    ExprToken token;
};

struct Level {
    const BinaryOperator* operators;
    int count;
};

// Levels 1 to 10, loosest first. Level 7 sees '<' and '>' only after the
// shift level has left them, so "<<" is always a shift.
constexpr BinaryOperator kLogicalOr[] = {{'|', '|', '\0', OP_LOR}};
constexpr BinaryOperator kLogicalAnd[] = {{'&', '&', '\0', OP_LAND}};
constexpr BinaryOperator kBitOr[] = {{'|', '\0', '|', OP_OR}};
constexpr BinaryOperator kBitXor[] = {{'^', '\0', '\0', OP_XOR}};
constexpr BinaryOperator kBitAnd[] = {{'&', '\0', '&', OP_AND}};
constexpr BinaryOperator kEquality[] = {{'=', '=', '\0', OP_EQ}, {'!', '=', '\0', OP_NE}};
constexpr BinaryOperator kRelational[] = {
    {'<', '=', '\0', OP_LE}, {'>', '=', '\0', OP_GE}, {'<', '\0', '\0', OP_LT}, {'>', '\0', '\0', OP_GT}};
constexpr BinaryOperator kShift[] = {{'<', '<', '\0', OP_SHL}, {'>', '>', '\0', OP_SHR}};
constexpr BinaryOperator kAdditive[] = {{'+', '\0', '\0', OP_ADD}, {'-', '\0', '\0', OP_SUB}};
constexpr BinaryOperator kMultiplicative[] = {
    {'*', '\0', '\0', OP_MUL}, {'/', '\0', '\0', OP_DIV}, {'%', '\0', '\0', OP_MOD}};

template <std::size_t N>
constexpr Level level(const BinaryOperator (&ops)[N]) {
    return {ops, static_cast<int>(N)};
}

constexpr Level kLevels[] = {level(kLogicalOr), level(kLogicalAnd), level(kBitOr),    level(kBitXor),
                             level(kBitAnd),    level(kEquality),   level(kRelational), level(kShift),
                             level(kAdditive),  level(kMultiplicative)};
constexpr int kBinaryLevels = static_cast<int>(std::size(kLevels));

// Parentheses nest at most as deep as blocks do; each one costs this
// recursive parser a dozen stack frames, so deeper input would exhaust the
// stack instead of being reported.
constexpr int kMaxParenthesisDepth = 255;

bool compile_level(Compiler& c, int level, int depth);

// The operator of the level that stands at the reader, or nullptr.
const BinaryOperator* operator_at(const Reader& r, const Level& level) {
    for (int i = 0; i < level.count; ++i) {
        const BinaryOperator& op = level.operators[i];
        if (r.cur != op.first) continue;
        if (op.second != '\0') {
            if (r.ahead == op.second) return &op;
        } else if (op.not_followed == '\0' || r.ahead != op.not_followed) {
            return &op;
        }
    }
    return nullptr;
}

// primary -> ( expression ) | number | variable
// depth: the parentheses open around it.
bool compile_primary(Compiler& c, int depth) {
    Reader& r = c.reader;
    r.skip_space();
    if (r.cur == '(') {
        if (depth == kMaxParenthesisDepth) {
            c.diag.report_error(msg::nesting_too_deep);
            return false;
        }
        emit_token(c.sink, EXPR_LPAREN);
        r.next_char();
        if (!compile_level(c, 0, depth + 1)) return false;
        r.skip_space();
        if (r.cur != ')') {
            c.diag.report_error(msg::missing_close_paren);
            return false;
        }
        emit_token(c.sink, EXPR_RPAREN);
        r.next_char();
        return true;
    }
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
    const auto symbol = lookup_symbol(c, word.view());
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

// unary -> [+ - ! ~] [#- #+] primary, at most one of each level
bool compile_unary(Compiler& c, int depth) {
    Reader& r = c.reader;
    r.skip_space();
    switch (r.cur) {
        case '+': emit_token(c.sink, OP_PLUS); r.next_char(); break;
        case '-': emit_token(c.sink, OP_NEG); r.next_char(); break;
        case '!': emit_token(c.sink, OP_NOT); r.next_char(); break;
        case '~': emit_token(c.sink, OP_COMPL); r.next_char(); break;
        default: break;
    }
    r.skip_space();
    if (r.cur == '#' && (r.ahead == '-' || r.ahead == '+')) {
        emit_token(c.sink, r.ahead == '-' ? OP_HASH_MINUS : OP_HASH_PLUS);
        r.next_char();
        r.next_char();
    }
    return compile_primary(c, depth);
}

// level -> next { op next }
bool compile_level(Compiler& c, int level, int depth) {
    const auto operand = [&c, level, depth] {
        return level + 1 < kBinaryLevels ? compile_level(c, level + 1, depth) : compile_unary(c, depth);
    };
    if (!operand()) return false;
    while (true) {
        c.reader.skip_space();
        const BinaryOperator* op = operator_at(c.reader, kLevels[level]);
        if (op == nullptr) return true;
        emit_token(c.sink, op->token);
        c.reader.next_char();
        if (op->second != '\0') c.reader.next_char();
        if (!operand()) return false;
    }
}

}  // namespace

bool compile_expression(Compiler& c) { return compile_level(c, 0, 0); }

}  // namespace oxbuild
