// The bytecode: the contract with the host that runs it. Every value here is
// written into modules; the compiler and the module inspector share them.
//
// Units, all little-endian: opcodes, expression tokens, type words and index
// words are 16-bit words; constants and code addresses are 32-bit dwords;
// string literal characters are bytes, padded so every item has an even size.
// A code address is stored as a file offset (code area offset + code base).
#pragma once

#include <cstdint>

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
