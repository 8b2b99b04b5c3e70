// The bytecode: the contract with the host that runs it. Every value here is
// written into modules; the compiler and the module inspector share them.
//
// Units, all little-endian: opcodes, expression tokens, type words and index
// words are 16-bit words; constants and code addresses are 32-bit dwords;
// string literal characters are bytes, padded so every item has an even size.
// A code address is stored as a file offset (code area offset + code base).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace oxbuild {

// Instruction opcodes: the first word of every instruction.
enum Opcode : std::uint16_t {
    OP_ASSIGN = 0x00,          // variable reference; expression; EXPR_END
    OP_JUMP = 0x10,            // code address
    OP_JUMP_IF_FALSE = 0x12,   // expression; EXPR_END; code address (taken when zero)
    OP_CALL = 0x20,            // function kind word; call number word; one argument per parameter
    OP_RETURN = 0x21,          // no operands
};

// Expression tokens: an infix stream in source order ending with EXPR_END.
// The high four bits of an operator are its precedence class, 1 binding
// tightest, 13 loosest; the reader of the stream applies precedence.
enum ExprToken : std::uint16_t {
    EXPR_END = 0x00,
    EXPR_VAR = 0x01,           // variable reference follows
    EXPR_CONST = 0x02,         // dword constant follows
    EXPR_STRING = 0x02,        // in a str argument: bytes, zero, padding to even
    EXPR_LPAREN = 0x10,        // (
    EXPR_RPAREN = 0x11,        // )
    OP_HASH_MINUS = 0x20,      // prefix #-
    OP_HASH_PLUS = 0x21,       // prefix #+
    OP_PLUS = 0x30,            // prefix +
    OP_NEG = 0x31,             // prefix -
    OP_NOT = 0x32,             // prefix !
    OP_COMPL = 0x33,           // prefix ~
    OP_MUL = 0x40,             // *
    OP_DIV = 0x41,             // /
    OP_MOD = 0x42,             // %
    OP_ADD = 0x50,             // +
    OP_SUB = 0x51,             // -
    OP_SHL = 0x60,             // <<
    OP_SHR = 0x61,             // >>
    OP_LT = 0x70,              // <
    OP_GT = 0x71,              // >
    OP_LE = 0x72,              // <=
    OP_GE = 0x73,              // >=
    OP_EQ = 0x80,              // ==
    OP_NE = 0x81,              // !=
    OP_AND = 0x90,             // &
    OP_XOR = 0xA0,             // ^
    OP_OR = 0xB0,              // |
    OP_LAND = 0xC0,            // &&
    OP_LOR = 0xD0,             // ||
};

constexpr int precedence_class(std::uint16_t operator_token) { return operator_token >> 4; }

// Where an operator stands: before its operand, or between two.
enum class OperatorPlace : std::uint8_t { prefix, binary };

// An operator token as the source spells it, with the precedence class its
// token carries. The compiler reads operators by these spellings, and every
// tool prints and evaluates them by this one table.
struct OperatorSpelling {
    std::uint16_t token;
    std::string_view text;
    OperatorPlace place;
    int precedence;
};

inline constexpr OperatorSpelling kOperators[] = {
    {OP_HASH_MINUS, "#-", OperatorPlace::prefix, 2}, {OP_HASH_PLUS, "#+", OperatorPlace::prefix, 2},
    {OP_PLUS, "+", OperatorPlace::prefix, 3},        {OP_NEG, "-", OperatorPlace::prefix, 3},
    {OP_NOT, "!", OperatorPlace::prefix, 3},         {OP_COMPL, "~", OperatorPlace::prefix, 3},
    {OP_MUL, "*", OperatorPlace::binary, 4},         {OP_DIV, "/", OperatorPlace::binary, 4},
    {OP_MOD, "%", OperatorPlace::binary, 4},         {OP_ADD, "+", OperatorPlace::binary, 5},
    {OP_SUB, "-", OperatorPlace::binary, 5},         {OP_SHL, "<<", OperatorPlace::binary, 6},
    {OP_SHR, ">>", OperatorPlace::binary, 6},        {OP_LT, "<", OperatorPlace::binary, 7},
    {OP_GT, ">", OperatorPlace::binary, 7},          {OP_LE, "<=", OperatorPlace::binary, 7},
    {OP_GE, ">=", OperatorPlace::binary, 7},         {OP_EQ, "==", OperatorPlace::binary, 8},
    {OP_NE, "!=", OperatorPlace::binary, 8},         {OP_AND, "&", OperatorPlace::binary, 9},
    {OP_XOR, "^", OperatorPlace::binary, 10},        {OP_OR, "|", OperatorPlace::binary, 11},
    {OP_LAND, "&&", OperatorPlace::binary, 12},      {OP_LOR, "||", OperatorPlace::binary, 13},
};

// The parentheses are tokens of class 1, tighter than every operator.
inline constexpr int kParenthesisClass = 1;
inline constexpr int kLoosestClass = 13;

// The row of an operator token, or nullptr (operands, parentheses, EXPR_END
// and unknown values are no operators).
constexpr const OperatorSpelling* find_operator(std::uint16_t token) {
    for (const OperatorSpelling& op : kOperators)
        if (op.token == token) return &op;
    return nullptr;
}

// The table agrees with the token values: each row's class is the one its
// token carries, prefixes bind tighter than every binary operator, and no
// token has two rows.
constexpr bool operator_table_consistent() {
    for (const OperatorSpelling& op : kOperators) {
        if (precedence_class(op.token) != op.precedence || find_operator(op.token) != &op) return false;
        if (op.text.empty() || op.text.size() > 2) return false;
        if ((op.place == OperatorPlace::prefix) != (op.precedence < precedence_class(OP_MUL))) return false;
    }
    return precedence_class(EXPR_LPAREN) == kParenthesisClass && precedence_class(EXPR_RPAREN) == kParenthesisClass &&
           precedence_class(OP_LOR) == kLoosestClass;
}
static_assert(operator_table_consistent());

// The spelling of a token that the table holds.
constexpr std::string_view operator_text(std::uint16_t token) {
    const OperatorSpelling* op = find_operator(token);
    return op != nullptr ? op->text : std::string_view{};
}

// Type codes: a symbol's type, and the type word of a variable reference.
using TypeCode = std::uint8_t;
inline constexpr TypeCode TYPE_FUNCTION = 0;  // a user function's name
inline constexpr TypeCode TYPE_INT = 1;
inline constexpr TypeCode TYPE_UINT = 2;
inline constexpr TypeCode TYPE_STR = 3;
inline constexpr TypeCode TYPE_BY_REFERENCE = 0x80;  // flag on parameters only
inline constexpr TypeCode TYPE_INT_REF = TYPE_INT | TYPE_BY_REFERENCE;
inline constexpr TypeCode TYPE_UINT_REF = TYPE_UINT | TYPE_BY_REFERENCE;
inline constexpr TypeCode TYPE_STR_REF = TYPE_STR | TYPE_BY_REFERENCE;

// Added to the type word of a variable local to the function (and to every
// parameter descriptor's type word).
inline constexpr std::uint16_t LOCAL_FLAG = 0x100;

constexpr bool is_str_type(TypeCode t) { return t == TYPE_STR || t == TYPE_STR_REF; }

// The source spellings of the value types; a by-reference parameter is
// spelled with kReferenceSpelling after its type.
struct TypeSpelling {
    TypeCode code;
    std::string_view text;
};
inline constexpr TypeSpelling kTypeSpellings[] = {{TYPE_INT, "int"}, {TYPE_UINT, "uint"}, {TYPE_STR, "str"}};
inline constexpr std::string_view kReferenceSpelling = "&";

// The spelling of a type code's value type (the by-reference flag left
// aside), or "" for a code that is none.
constexpr std::string_view type_spelling(TypeCode t) {
    for (const TypeSpelling& row : kTypeSpellings)
        if (row.code == (t & ~TYPE_BY_REFERENCE)) return row.text;
    return {};
}
static_assert(type_spelling(TYPE_STR_REF) == type_spelling(TYPE_STR) && type_spelling(TYPE_FUNCTION).empty());

// The six type classes, each numbered separately, in module order.
inline constexpr int kTypeClassCount = 6;
inline constexpr TypeCode kTypeClasses[kTypeClassCount] = {TYPE_INT, TYPE_UINT, TYPE_STR,
                                                           TYPE_INT_REF, TYPE_UINT_REF, TYPE_STR_REF};

// Position of a type code among the type classes, or -1.
constexpr int type_class_index(TypeCode t) {
    for (int i = 0; i < kTypeClassCount; ++i)
        if (kTypeClasses[i] == t) return i;
    return -1;
}

// OP_CALL's function kind word.
inline constexpr std::uint16_t CALL_USER = 0;
inline constexpr std::uint16_t CALL_STANDARD = 1;

// A parameter written without a name has this slot word in its descriptor.
inline constexpr std::uint16_t UNNAMED_PARAMETER_SLOT = 0xFFFF;

// Longest string literal argument, in bytes.
inline constexpr std::size_t kStringArgumentMax = 255;

}  // namespace oxbuild
