#include "oxdump/operators.hpp"

#include "format/bytecode.hpp"

namespace oxdump {

namespace {

using namespace oxbuild;
using Kind = OperatorInfo::Kind;

constexpr OperatorInfo kOperators[] = {
    {OP_HASH_MINUS, "#-", Kind::prefix}, {OP_HASH_PLUS, "#+", Kind::prefix}, {OP_PLUS, "+", Kind::prefix},
    {OP_NEG, "-", Kind::prefix},         {OP_NOT, "!", Kind::prefix},        {OP_COMPL, "~", Kind::prefix},
    {OP_MUL, "*", Kind::binary},         {OP_DIV, "/", Kind::binary},        {OP_MOD, "%", Kind::binary},
    {OP_ADD, "+", Kind::binary},         {OP_SUB, "-", Kind::binary},        {OP_SHL, "<<", Kind::binary},
    {OP_SHR, ">>", Kind::binary},        {OP_LT, "<", Kind::binary},         {OP_GT, ">", Kind::binary},
    {OP_LE, "<=", Kind::binary},         {OP_GE, ">=", Kind::binary},        {OP_EQ, "==", Kind::binary},
    {OP_NE, "!=", Kind::binary},         {OP_AND, "&", Kind::binary},        {OP_XOR, "^", Kind::binary},
    {OP_OR, "|", Kind::binary},          {OP_LAND, "&&", Kind::binary},      {OP_LOR, "||", Kind::binary},
};

}  // namespace

const OperatorInfo* find_operator(std::uint16_t token) {
    for (const OperatorInfo& op : kOperators)
        if (op.token == token) return &op;
    return nullptr;
}

}  // namespace oxdump
