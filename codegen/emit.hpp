// Emitters for the forms of the bytecode. Handlers call these and never look
// at the pass: the sink counts in pass 1 and writes in pass 2.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "format/bytecode.hpp"
#include "core/fatal.hpp"
#include "core/sink.hpp"

namespace oxbuild {

inline void emit_opcode(Sink& sink, Opcode op) { sink.emit_word(op); }
inline constexpr std::size_t kOpcodeBytes = sizeof(Opcode);
inline void emit_token(Sink& sink, ExprToken token) { sink.emit_word(token); }

// A slot number or call number in its 16-bit word. A larger one would name
// another variable or function, so such a module cannot be written at all.
inline constexpr std::int64_t kLargestIndexWord = 0xFFFF;
inline void check_index_word(std::int64_t number) {
    if (number < 0 || number > kLargestIndexWord) fatal_stop("a slot or call number does not fit in its word");
}
inline void emit_index_word(Sink& sink, std::int64_t number) {
    check_index_word(number);
    sink.emit_word(static_cast<std::uint32_t>(number));
}

// The type word of a variable reference: its type code, plus LOCAL_FLAG for
// a local.
inline std::uint32_t reference_type_word(TypeCode type, bool local) {
    return static_cast<std::uint32_t>(type) | (local ? LOCAL_FLAG : 0u);
}

// A reference's type word and index word, after the fields already there.
template <std::size_t N>
FieldBytes<N>& add_reference(FieldBytes<N>& fields, TypeCode type, bool local, std::int32_t slot) {
    check_index_word(slot);
    return fields.word(reference_type_word(type, local)).word(static_cast<std::uint32_t>(slot));
}

// Type word and index word.
inline void emit_variable_reference(Sink& sink, TypeCode type, bool local, std::int32_t slot) {
    FieldBytes<4> fields;
    sink.emit_fields(add_reference(fields, type, local, slot));
}

// A variable as an operand: EXPR_VAR and its reference.
inline void emit_variable_operand(Sink& sink, TypeCode type, bool local, std::int32_t slot) {
    FieldBytes<6> fields;
    sink.emit_fields(add_reference(fields.word(EXPR_VAR), type, local, slot));
}

// OP_ASSIGN and the target's reference.
inline void emit_assignment(Sink& sink, TypeCode type, bool local, std::int32_t slot) {
    FieldBytes<6> fields;
    sink.emit_fields(add_reference(fields.word(OP_ASSIGN), type, local, slot));
}

// OP_CALL, the kind word and the number word.
inline void emit_call(Sink& sink, std::uint16_t kind, std::int64_t number) {
    check_index_word(number);
    sink.emit_fields(FieldBytes<6>().word(OP_CALL).word(kind).word(static_cast<std::uint32_t>(number)));
}

inline void emit_constant(Sink& sink, std::int32_t value) {
    sink.emit_fields(FieldBytes<6>().word(EXPR_CONST).dword(static_cast<std::uint32_t>(value)));
}

inline void emit_code_address(Sink& sink, CodeAddress address) { sink.emit_code_address(address); }

// An opcode and the code address after it (a jump).
inline void emit_opcode_and_address(Sink& sink, Opcode op, CodeAddress address) {
    sink.emit_fields(FieldBytes<6>().word(op).dword(static_cast<std::uint32_t>(address + sink.code_base())));
}

// EXPR_STRING, the bytes up to the first zero, a zero, and one more zero
// when that leaves an odd count after the token, written in one move: the
// text is a string argument as read, at most kStringArgumentMax bytes.
inline void emit_string_argument(Sink& sink, std::string_view text) {
    const std::size_t length = std::min(text.find('\0'), text.size());
    if (length > kStringArgumentMax) fatal_stop("internal: a string argument longer than its maximum");
    const std::size_t padding = (length + 1) % 2 != 0 ? 2 : 1;  // the zero, and one more for an odd count
    sink.emit_in_place(sizeof(ExprToken) + length + padding, [&](unsigned char* at) {
        store_field<2>(at, EXPR_STRING);
        std::memcpy(at + sizeof(ExprToken), text.data(), length);
        std::memset(at + sizeof(ExprToken) + length, 0, padding);
    });
}

}  // namespace oxbuild
