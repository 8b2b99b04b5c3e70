#include "oxrun/expression.hpp"

#include <array>
#include <limits>
#include <utility>

#include "format/bytecode.hpp"

namespace oxrun {

void raise(const std::string& what) { throw RuntimeError(what); }

namespace {

using namespace oxbuild;

// How a node reads one operand: a constant or a cell held in the node
// itself, or a child node.
enum class Kind : int { konst, local, global, sub };
inline constexpr std::size_t kKinds = 4;

template <Kind K>
inline std::uint32_t get(const Node& n, int side, const Env& e) {
    if constexpr (K == Kind::konst) return n.operand[side];
    else if constexpr (K == Kind::local) return e.cells[n.operand[side]];
    else if constexpr (K == Kind::global) return e.global_cells[n.operand[side]];
    else return evaluate(*n.sub[side], e);
}

inline std::int32_t s(std::uint32_t v) { return static_cast<std::int32_t>(v); }
inline std::uint32_t u(bool b) { return b ? 1u : 0u; }
constexpr std::uint32_t kShiftMask = 31;  // a shift count is taken modulo 32

void check_divisor(std::uint32_t divisor, const char* operation) {
    if (divisor == 0) raise(std::string(operation) + " by zero");
}
void check_signed_division(std::uint32_t a, std::uint32_t b, const char* operation) {
    check_divisor(b, operation);
    if (s(a) == std::numeric_limits<std::int32_t>::min() && s(b) == -1)
        raise(std::string(operation) + " of -2147483648 by -1 overflows");
}

// The binary operators: results as C gives them; the signed and unsigned
// forms of an operator whose meaning differs are two operators here.
struct Add { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return a + b; } };
struct Sub { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return a - b; } };
struct Mul { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return a * b; } };
struct And { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return a & b; } };
struct Or { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return a | b; } };
struct Xor { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return a ^ b; } };
struct Shl { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return a << (b & kShiftMask); } };
struct Eq { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return u(a == b); } };
struct Ne { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return u(a != b); } };
struct SDiv {
    static std::uint32_t apply(std::uint32_t a, std::uint32_t b) {
        check_signed_division(a, b, "division");
        return static_cast<std::uint32_t>(s(a) / s(b));
    }
};
struct UDiv {
    static std::uint32_t apply(std::uint32_t a, std::uint32_t b) {
        check_divisor(b, "division");
        return a / b;
    }
};
struct SMod {
    static std::uint32_t apply(std::uint32_t a, std::uint32_t b) {
        check_signed_division(a, b, "remainder");
        return static_cast<std::uint32_t>(s(a) % s(b));
    }
};
struct UMod {
    static std::uint32_t apply(std::uint32_t a, std::uint32_t b) {
        check_divisor(b, "remainder");
        return a % b;
    }
};
struct SShr {
    static std::uint32_t apply(std::uint32_t a, std::uint32_t b) {
        return static_cast<std::uint32_t>(s(a) >> (b & kShiftMask));
    }
};
struct UShr { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return a >> (b & kShiftMask); } };
struct SLt { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return u(s(a) < s(b)); } };
struct ULt { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return u(a < b); } };
struct SGt { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return u(s(a) > s(b)); } };
struct UGt { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return u(a > b); } };
struct SLe { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return u(s(a) <= s(b)); } };
struct ULe { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return u(a <= b); } };
struct SGe { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return u(s(a) >= s(b)); } };
struct UGe { static std::uint32_t apply(std::uint32_t a, std::uint32_t b) { return u(a >= b); } };

// && and || evaluate their right side only when it decides.
struct LAnd {};
struct LOr {};

template <class Op, Kind A, Kind B>
std::uint32_t binary(const Node& n, const Env& e) {
    if constexpr (std::is_same_v<Op, LAnd>) return u(get<A>(n, 0, e) != 0 && get<B>(n, 1, e) != 0);
    else if constexpr (std::is_same_v<Op, LOr>) return u(get<A>(n, 0, e) != 0 || get<B>(n, 1, e) != 0);
    else return Op::apply(get<A>(n, 0, e), get<B>(n, 1, e));
}

template <class Op, std::size_t... I>
constexpr std::array<EvalFn, kKinds * kKinds> binary_table(std::index_sequence<I...>) {
    return {&binary<Op, static_cast<Kind>(I / kKinds), static_cast<Kind>(I % kKinds)>...};
}
template <class Op>
constexpr auto kBinary = binary_table<Op>(std::make_index_sequence<kKinds * kKinds>());

struct Neg { static std::uint32_t apply(std::uint32_t a) { return 0u - a; } };
struct Plus { static std::uint32_t apply(std::uint32_t a) { return a; } };
struct Not { static std::uint32_t apply(std::uint32_t a) { return u(a == 0); } };
struct Compl { static std::uint32_t apply(std::uint32_t a) { return ~a; } };

template <class Op, Kind A>
std::uint32_t unary(const Node& n, const Env& e) {
    return Op::apply(get<A>(n, 0, e));
}
template <class Op>
constexpr std::array<EvalFn, kKinds> kUnary = {&unary<Op, Kind::konst>, &unary<Op, Kind::local>,
                                               &unary<Op, Kind::global>, &unary<Op, Kind::sub>};

// #- and #+ mean what the host makes of them, which the model does not know.
std::uint32_t host_operator(const Node& n, const Env&) {
    raise("the operator " + std::string(operator_text(n.token)) + " is the host's own; the model host does not define it");
}

std::uint32_t leaf_ref(const Node& n, const Env& e) { return *e.refs[n.operand[0]]; }

struct Typed {
    Node* node = nullptr;  // nullptr for an operand held in the parent
    Kind kind = Kind::konst;
    std::uint32_t operand = 0;
    bool is_unsigned = false;
    int depth = 0;
};

EvalFn pick_binary(std::uint16_t token, bool either_unsigned, bool left_unsigned, std::size_t at) {
    const bool un = either_unsigned;
    switch (token) {
        case OP_MUL: return kBinary<Mul>[at];
        case OP_DIV: return un ? kBinary<UDiv>[at] : kBinary<SDiv>[at];
        case OP_MOD: return un ? kBinary<UMod>[at] : kBinary<SMod>[at];
        case OP_ADD: return kBinary<Add>[at];
        case OP_SUB: return kBinary<Sub>[at];
        case OP_SHL: return kBinary<Shl>[at];
        case OP_SHR: return left_unsigned ? kBinary<UShr>[at] : kBinary<SShr>[at];
        case OP_LT: return un ? kBinary<ULt>[at] : kBinary<SLt>[at];
        case OP_GT: return un ? kBinary<UGt>[at] : kBinary<SGt>[at];
        case OP_LE: return un ? kBinary<ULe>[at] : kBinary<SLe>[at];
        case OP_GE: return un ? kBinary<UGe>[at] : kBinary<SGe>[at];
        case OP_EQ: return kBinary<Eq>[at];
        case OP_NE: return kBinary<Ne>[at];
        case OP_AND: return kBinary<And>[at];
        case OP_XOR: return kBinary<Xor>[at];
        case OP_OR: return kBinary<Or>[at];
        case OP_LAND: return kBinary<LAnd>[at];
        default: return kBinary<LOr>[at];
    }
}

// The type of a result: comparisons and logical operators give int; a
// shift has its left operand's type; the others are unsigned when either
// operand is.
bool result_unsigned(std::uint16_t token, bool left, bool right) {
    const int cls = precedence_class(token);
    if (cls == precedence_class(OP_SHL)) return left;
    if (cls == precedence_class(OP_LT) || cls == precedence_class(OP_EQ) || token == OP_LAND || token == OP_LOR)
        return false;
    return left || right;
}

constexpr const char* kTooDeep = "the expression is nested too deeply to evaluate";

// Parses the stream by precedence climbing: within a class left to right,
// a tighter class (smaller number) first.
class Translator {
public:
    Translator(const oxdump::Expression& items, const ResolveVariable& resolve, std::deque<Node>& nodes)
        : items_(items), resolve_(resolve), nodes_(nodes) {}

    const Node* run(std::string& problem) {
        const auto root = expression(kLoosestClass, 0);
        if (!root || at_ != items_.size()) {
            problem = problem_.empty() ? "the expression does not parse" : problem_;
            return nullptr;
        }
        return as_node(*root);
    }

private:
    std::optional<Typed> fail(const char* why) {
        if (problem_.empty()) problem_ = why;
        return std::nullopt;
    }

    const oxdump::ExprItem* peek() const { return at_ < items_.size() ? &items_[at_] : nullptr; }

    // expression(max) -> unary { binary-op of class <= max  expression(class - 1) }
    std::optional<Typed> expression(int max_class, int nesting) {
        if (nesting > kMaxExpressionNesting) return fail(kTooDeep);
        auto left = unary(nesting);
        while (left) {
            const oxdump::ExprItem* next = peek();
            const OperatorSpelling* op = next != nullptr ? find_operator(next->token) : nullptr;
            if (op == nullptr || op->place != OperatorPlace::binary || op->precedence > max_class) break;
            ++at_;
            const auto right = expression(op->precedence - 1, nesting + 1);
            if (!right) return std::nullopt;
            left = combine(op->token, *left, *right);
        }
        return left;
    }

    // unary -> prefix-op unary | ( expression ) | variable | constant
    std::optional<Typed> unary(int nesting) {
        if (nesting > kMaxExpressionNesting) return fail(kTooDeep);
        const oxdump::ExprItem* item = peek();
        if (item == nullptr) return fail("an operand is missing");
        ++at_;
        if (item->token == EXPR_CONST) return Typed{nullptr, Kind::konst, item->value, false, 0};
        if (item->token == EXPR_VAR) return variable(item->variable);
        if (item->token == EXPR_LPAREN) return parenthesised(nesting);
        const OperatorSpelling* op = find_operator(item->token);
        if (op == nullptr || op->place != OperatorPlace::prefix) return fail("an operand is missing");
        const auto operand = unary(nesting + 1);
        if (!operand) return std::nullopt;
        return prefix(op->token, *operand);
    }

    std::optional<Typed> parenthesised(int nesting) {
        auto inner = expression(kLoosestClass, nesting + 1);
        const oxdump::ExprItem* close = peek();
        if (!inner || close == nullptr || close->token != EXPR_RPAREN) return fail("a ')' is missing");
        ++at_;
        return inner;
    }

    std::optional<Typed> variable(const oxdump::VariableRef& ref) {
        const auto at = resolve_(ref);
        if (!at) return fail("the expression names a variable the function does not have");
        const bool is_unsigned = (oxdump::type_code(ref.type_word) & ~TYPE_BY_REFERENCE) == TYPE_UINT;
        if (at->place == Place::ref) {
            Node& n = nodes_.emplace_back();
            n.eval = leaf_ref;
            n.operand[0] = at->index;
            return Typed{&n, Kind::sub, 0, is_unsigned, 1};
        }
        return Typed{nullptr, at->place == Place::local ? Kind::local : Kind::global, at->index, is_unsigned, 0};
    }

    std::optional<Typed> prefix(std::uint16_t token, const Typed& operand) {
        Node& n = nodes_.emplace_back();
        n.token = token;
        place(n, 0, operand);
        const auto k = static_cast<std::size_t>(operand.kind);
        bool is_unsigned = operand.is_unsigned;
        switch (token) {
            case OP_NEG: n.eval = kUnary<Neg>[k]; break;
            case OP_PLUS: n.eval = kUnary<Plus>[k]; break;
            case OP_NOT: n.eval = kUnary<Not>[k]; is_unsigned = false; break;
            case OP_COMPL: n.eval = kUnary<Compl>[k]; break;
            default: n.eval = host_operator; break;
        }
        return checked(n, is_unsigned, operand.depth + 1);
    }

    std::optional<Typed> combine(std::uint16_t token, const Typed& left, const Typed& right) {
        Node& n = nodes_.emplace_back();
        n.token = token;
        place(n, 0, left);
        place(n, 1, right);
        const std::size_t at = static_cast<std::size_t>(left.kind) * kKinds + static_cast<std::size_t>(right.kind);
        n.eval = pick_binary(token, left.is_unsigned || right.is_unsigned, left.is_unsigned, at);
        return checked(n, result_unsigned(token, left.is_unsigned, right.is_unsigned),
                       std::max(left.depth, right.depth) + 1);
    }

    std::optional<Typed> checked(Node& n, bool is_unsigned, int depth) {
        if (depth > kMaxExpressionDepth) return fail(kTooDeep);
        return Typed{&n, Kind::sub, 0, is_unsigned, depth};
    }

    static void place(Node& n, int side, const Typed& t) {
        n.sub[side] = t.node;
        n.operand[side] = t.operand;
    }

    // A root that is a lone operand gets a node of its own.
    const Node* as_node(const Typed& t) {
        if (t.node != nullptr) return t.node;
        Node& n = nodes_.emplace_back();
        n.operand[0] = t.operand;
        n.eval = kUnary<Plus>[static_cast<std::size_t>(t.kind)];
        return &n;
    }

    const oxdump::Expression& items_;
    const ResolveVariable& resolve_;
    std::deque<Node>& nodes_;
    std::size_t at_ = 0;
    std::string problem_;
};

}  // namespace

const Node* translate_expression(const oxdump::Expression& expression, const ResolveVariable& resolve,
                                 std::deque<Node>& nodes, std::string& problem) {
    return Translator(expression, resolve, nodes).run(problem);
}

}  // namespace oxrun
