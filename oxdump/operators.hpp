// The expression operators as the listing prints them back: each token of
// the bytecode with its source form and whether it stands before an operand
// (prefix) or between two (binary).
#pragma once

#include <cstdint>
#include <string_view>

namespace oxdump {

struct OperatorInfo {
    enum class Kind : std::uint8_t { prefix, binary };
    std::uint16_t token;
    std::string_view symbol;
    Kind kind;
};

// The operator with this token value, or nullptr (operands, parentheses,
// EXPR_END and unknown values are not operators).
const OperatorInfo* find_operator(std::uint16_t token);

}  // namespace oxdump
