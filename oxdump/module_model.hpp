// A module as the inspector has read it: every field decoded and checked,
// ready to print or extract. Offsets are file offsets; code addresses are
// counted from the start of the code area.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format/bytecode.hpp"
#include "oxdump/byte_cursor.hpp"

namespace oxdump {

// The source spelling of a type code, written without a blank before the
// reference mark: int, uint, str, int&, uint&, str&; "?" for none of them.
inline std::string type_name(oxbuild::TypeCode type) {
    if (oxbuild::type_class_index(type) < 0) return "?";
    std::string name(oxbuild::type_spelling(type));
    if ((type & oxbuild::TYPE_BY_REFERENCE) != 0) name += oxbuild::kReferenceSpelling;
    return name;
}

struct Header {
    std::uint32_t format = 0;
    std::array<std::string, 4> texts;  // code page 932 bytes, up to the first zero
    Offset function_table = 0;
    Offset bitmap_section = 0;
    Offset event_table = 0;
    Offset wave_section = 0;
    Offset menu_section = 0;
};

// Two words: the type word (type code, plus LOCAL_FLAG) and the slot.
struct VariableRef {
    std::uint16_t type_word = 0;
    std::uint16_t slot = 0;
};

// A type word's two parts: the type code in its low byte, flags above.
inline constexpr std::uint16_t kTypeCodeMask = 0xFF;
constexpr oxbuild::TypeCode type_code(std::uint16_t type_word) {
    return static_cast<oxbuild::TypeCode>(type_word & kTypeCodeMask);
}
constexpr std::uint16_t type_flags(std::uint16_t type_word) {
    return static_cast<std::uint16_t>(type_word & ~kTypeCodeMask);
}

struct Parameter {
    oxbuild::TypeCode type = 0;  // with the by-reference flag
    std::uint16_t slot = 0;      // UNNAMED_PARAMETER_SLOT when written without a name
};

struct Function {
    Offset descriptor = 0;
    Offset entry = 0;  // code address
    std::array<std::uint32_t, oxbuild::kTypeClassCount> local_counts{};
    std::vector<Parameter> parameters;
};

// One expression token with its operand, if it has one.
struct ExprItem {
    std::uint16_t token = oxbuild::EXPR_END;
    VariableRef variable;     // EXPR_VAR
    std::uint32_t value = 0;  // EXPR_CONST
};
using Expression = std::vector<ExprItem>;  // without the closing EXPR_END

struct Argument {
    enum class Form : std::uint8_t { expression, string, variable };
    oxbuild::TypeCode parameter = 0;  // the callee's parameter type
    Form form = Form::expression;
    Expression expression;
    std::string text;      // a string literal's bytes
    VariableRef variable;  // a str variable or a by-reference argument
};

struct Instruction {
    Offset address = 0;  // code address
    std::uint16_t opcode = 0;
    VariableRef target_variable;  // OP_ASSIGN
    Expression expression;        // OP_ASSIGN, OP_JUMP_IF_FALSE
    Offset jump_target = 0;       // OP_JUMP, OP_JUMP_IF_FALSE: code address
    std::uint16_t call_kind = 0;  // OP_CALL
    std::uint16_t call_number = 0;
    std::vector<Argument> arguments;
};

struct PaletteColour {
    std::uint8_t red = 0, green = 0, blue = 0;
};

struct Bitmap {
    std::int32_t number = 0;
    Offset data = 0;  // the information header
    std::int32_t width = 0;
    std::int32_t height = 0;
    Offset stride = 0;
    Offset pixels = 0;  // after the header and the bitmap's palette
};

struct BitmapSection {
    std::uint16_t colours_in_use = 0;
    std::vector<PaletteColour> palette;  // the entries in use
    std::vector<Bitmap> bitmaps;
};

struct Wave {
    std::int32_t number = 0;
    Offset data = 0;
    Offset size = 0;
    std::optional<std::string> form;  // bytes 8 to 11 of the RIFF file
};

struct MenuLine {
    enum class Kind : std::uint8_t { popup, item };
    Kind kind = Kind::item;
    std::size_t depth = 0;  // 0 for the menu's own entries
    std::string text;
    std::uint16_t id = 0;
    std::int32_t value = 0;
};

struct Menu {
    std::uint16_t number = 0;
    Offset data = 0;
    Offset size = 0;
    std::vector<MenuLine> lines;
};

struct Module {
    Offset file_size = 0;
    Header header;
    std::array<std::int32_t, 3> fixed_handlers{};  // OnLoad, OnUnload, OnInterval
    std::array<std::uint32_t, 3> global_counts{};  // int, uint, str
    std::vector<std::int32_t> event_handlers;      // from the fourth event on
    std::vector<Function> functions;
    Offset code_base = 0;
    Offset code_size = 0;
    std::vector<Instruction> code;
    BitmapSection bitmaps;
    std::vector<Wave> waves;
    std::vector<Menu> menus;
};

}  // namespace oxdump
