// Writes random programs for the semantic differential test
// (scripts/semantic-difftest.sh), each twice: as a module source whose
// OnLoad passes values to the host through MessageBeep, and as the same
// program in C, which prints the same values. The C side is independent of
// oxrun: its meaning is gcc's (with -fwrapv), with shift counts taken
// modulo 32 and divisors kept from zero and from -1 under INT_MIN, as the
// language defines them. Usage:
//   semantic_gen SEED FIRST COUNT DIR
// writes DIR/pN.oxs for N from FIRST to FIRST+COUNT-1, and DIR/batch.c
// whose main prints "== N" and then program N's values, for each N.
// Program N depends only on SEED and N.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "random.hpp"

namespace {

using difftest::Random;

// A number in [0, n).
int roll(Random& r, int n) { return static_cast<int>(r.below(static_cast<std::size_t>(n))); }

enum class Type { i, u };

// An expression in both languages. cls is the precedence class of its top
// operator in the module language (1 a primary, 3 a prefix, 4 to 13 binary).
struct Expr {
    std::string oxs, c;
    Type type = Type::i;
    int cls = 1;
};

struct BinaryOp {
    const char* text;
    int cls;
    enum Kind { arithmetic, shift, divide, compare, logical } kind;
};

// The binary operators of the language, tightest class first; C has the
// same order.
constexpr BinaryOp kBinary[] = {
    {"*", 4, BinaryOp::arithmetic},  {"/", 4, BinaryOp::divide},     {"%", 4, BinaryOp::divide},
    {"+", 5, BinaryOp::arithmetic},  {"-", 5, BinaryOp::arithmetic}, {"<<", 6, BinaryOp::shift},
    {">>", 6, BinaryOp::shift},      {"<", 7, BinaryOp::compare},    {">", 7, BinaryOp::compare},
    {"<=", 7, BinaryOp::compare},    {">=", 7, BinaryOp::compare},   {"==", 8, BinaryOp::compare},
    {"!=", 8, BinaryOp::compare},    {"&", 9, BinaryOp::arithmetic}, {"^", 10, BinaryOp::arithmetic},
    {"|", 11, BinaryOp::arithmetic}, {"&&", 12, BinaryOp::logical},  {"||", 13, BinaryOp::logical},
};
constexpr const char* kPrefixes[] = {"-", "+", "!", "~"};
constexpr int kPrefixClass = 3;

struct Var {
    std::string oxs, c;  // c reads it: a name or (*p)
    std::string c_address;  // &name or p
    Type type = Type::i;
    bool assignable = true;
};

struct Function {
    std::string name;
    std::vector<char> params;  // 'i' int, 'u' uint, 'I' int&, 'U' uint&, 'S' str&
    bool recursive = false;    // params[0] is the depth d
};

std::string paren_if(const Expr& e, bool needed) { return needed ? "(" + e.oxs + ")" : e.oxs; }

Expr constant(Random& r) {
    Expr e;
    std::uint32_t v;
    switch (roll(r, 4)) {
        case 0: v = static_cast<std::uint32_t>(roll(r, 2147483647)); break;
        case 1: v = 0xFFFFFF00u + static_cast<std::uint32_t>(roll(r, 256)); break;
        default: v = static_cast<std::uint32_t>(roll(r, 20)); break;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", v);
    e.oxs = v > 0x7FFFFFFFu || r.chance(20) ? hex : std::to_string(v);
    e.c = "((int32_t)" + std::string(hex) + "u)";
    return e;
}

Expr binary(const BinaryOp& op, const Expr& l, const Expr& r, Random& rnd) {
    Expr e;
    e.cls = op.cls;
    e.oxs = paren_if(l, l.cls > op.cls || (l.cls > 1 && rnd.chance(10))) + " " + op.text + " " +
            paren_if(r, r.cls >= op.cls || (r.cls > 1 && rnd.chance(10)));
    const bool either_u = l.type == Type::u || r.type == Type::u;
    switch (op.kind) {
        case BinaryOp::arithmetic:
        case BinaryOp::divide:
            e.type = either_u ? Type::u : Type::i;
            e.c = "(" + l.c + " " + op.text + " " + r.c + ")";
            break;
        case BinaryOp::shift:
            e.type = l.type;
            e.c = std::string(op.text[0] == '<' ? "shl_" : "shr_") + (l.type == Type::u ? "u(" : "i(") + l.c +
                  ", (uint32_t)" + r.c + ")";
            break;
        case BinaryOp::compare:
        case BinaryOp::logical:
            e.type = Type::i;
            e.c = "(" + l.c + " " + op.text + " " + r.c + ")";
            break;
    }
    return e;
}

class Generator {
public:
    Generator(std::uint64_t seed, int n) : r_(seed * 1000003 + static_cast<std::uint64_t>(n)), prefix_(std::string("P").append(std::to_string(n)).append("_")) {}

    void write(std::string& oxs, std::string& c) {
        oxs = "int g0, g1, g2;\nuint u0, u1;\nstr s0, s1;\n\n";
        c = "static int32_t " + g("g0") + ", " + g("g1") + ", " + g("g2") + ";\nstatic uint32_t " + g("u0") + ", " +
            g("u1") + ";\nstatic str " + g("s0") + ", " + g("s1") + ";\n";
        const int functions = 1 + roll(r_, 4);
        for (int k = 0; k < functions; ++k) write_function(oxs, c, k);
        write_onload(oxs, c);
    }

private:
    std::string g(const std::string& name) const { return prefix_ + name; }

    void reset_scope() {
        ints_.clear();
        strs_.clear();
        for (const char* n : {"g0", "g1", "g2"}) ints_.push_back({n, g(n), std::string("&").append(g(n)), Type::i, true});
        for (const char* n : {"u0", "u1"}) ints_.push_back({n, g(n), std::string("&").append(g(n)), Type::u, true});
        for (const char* n : {"s0", "s1"}) strs_.push_back({n, std::string("&").append(g(n)), std::string("&").append(g(n)), Type::i, true});
    }

    // Locals: two ints, a uint, a str, and two loop counters.
    void declare_locals(std::string& oxs, std::string& c) {
        oxs += "    int l0, l1, c0, c1;\n    uint l2;\n    str l3;\n";
        c += "    int32_t l0 = 0, l1 = 0, c0 = 0, c1 = 0;\n    uint32_t l2 = 0;\n    str l3 = {0, 0};\n";
        ints_.push_back({"l0", "l0", "&l0", Type::i, true});
        ints_.push_back({"l1", "l1", "&l1", Type::i, true});
        ints_.push_back({"l2", "l2", "&l2", Type::u, true});
        strs_.push_back({"l3", "&l3", "&l3", Type::i, true});
    }

    void write_function(std::string& oxs, std::string& c, int k) {
        reset_scope();
        Function f;
        f.name = "f" + std::to_string(k);
        f.recursive = r_.chance(40);
        if (f.recursive) f.params.push_back('i');
        const int extra = roll(r_, 4);
        for (int p = 0; p < extra; ++p) f.params.push_back("iuIUS"[roll(r_, 5)]);
        std::string ox_params, c_params;
        for (std::size_t p = 0; p < f.params.size(); ++p) {
            const std::string name = p == 0 && f.recursive ? std::string("d") : std::string("p").append(std::to_string(p));
            const char kind = f.params[p];
            if (p != 0) {
                ox_params += ", ";
                c_params += ", ";
            }
            switch (kind) {
                case 'i': ox_params += "int " + name; c_params += "int32_t " + name; break;
                case 'u': ox_params += "uint " + name; c_params += "uint32_t " + name; break;
                case 'I': ox_params += "int &" + name; c_params += "int32_t *" + name; break;
                case 'U': ox_params += "uint &" + name; c_params += "uint32_t *" + name; break;
                default: ox_params += "str &" + name; c_params += "str *" + name; break;
            }
            const bool is_ref = kind == 'I' || kind == 'U';
            if (kind == 'S') strs_.push_back({name, name, name, Type::i, true});
            else
                ints_.push_back({name, is_ref ? "(*" + name + ")" : name, is_ref ? name : "&" + name,
                                 kind == 'u' || kind == 'U' ? Type::u : Type::i, name != "d"});
        }
        oxs += f.name + "(" + ox_params + ")\n{\n";
        c += "static void " + g(f.name) + "(" + (c_params.empty() ? "void" : c_params) + ")\n{\n";
        declare_locals(oxs, c);
        current_ = f;
        if (f.recursive) {
            oxs += "    if (d > 0) {\n";
            c += "    if (d > 0) {\n";
            call(oxs, c, f, 2, true);
            oxs += "    }\n";
            c += "    }\n";
        }
        block(oxs, c, 1, 0, 3 + roll(r_, 6), false);
        oxs += "}\n\n";
        c += "}\n";
        functions_.push_back(f);
    }

    void write_onload(std::string& oxs, std::string& c) {
        reset_scope();
        current_ = {};
        oxs += "OnLoad(int &result)\n{\n";
        c += "static void " + g("onload") + "(void)\n{\n";
        declare_locals(oxs, c);
        block(oxs, c, 1, 0, 6 + roll(r_, 10), true);
        for (const Var& v : ints_) beep(oxs, c, "    ", {v.oxs, v.c, v.type, 1});
        for (const Var& s : strs_) {
            oxs += "    strlen(l0, " + s.oxs + ");\n    MessageBeep(l0);\n";
            c += "    str_len(&l0, " + s.c + ");\n    beep(l0);\n";
        }
        oxs += "}\n";
        c += "}\n";
    }

    Expr operand() {
        if (r_.chance(35)) return constant(r_);
        const Var& v = ints_[static_cast<std::size_t>(roll(r_, static_cast<int>(ints_.size())))];
        return {v.oxs, v.c, v.type, 1};
    }

    Expr expression(int depth) {
        if (depth == 0 || r_.chance(20)) return operand();
        if (r_.chance(15)) return prefix(expression(depth - 1));
        const BinaryOp& op = kBinary[roll(r_, static_cast<int>(std::size(kBinary)))];
        const Expr left = expression(depth - 1);
        Expr right = expression(depth - 1);
        if (op.kind == BinaryOp::divide) right = divisor(right);
        return binary(op, left, right, r_);
    }

    // Never zero, and never -1: (e & 15) + 1 or (e & 15) - 17.
    Expr divisor(const Expr& e) {
        Expr fifteen{"15", "((int32_t)15)", Type::i, 1};
        const Expr masked = binary(kBinary[13], e, fifteen, r_);
        const bool positive = r_.chance(60);
        const Expr amount{positive ? "1" : "17", positive ? "((int32_t)1)" : "((int32_t)17)", Type::i, 1};
        return binary(kBinary[positive ? 3 : 4], masked, amount, r_);
    }

    Expr prefix(const Expr& e) {
        const char* op = kPrefixes[roll(r_, 4)];
        Expr out;
        out.cls = kPrefixClass;
        out.oxs = std::string(op) + paren_if(e, e.cls >= kPrefixClass);
        out.c = "(" + std::string(op) + e.c + ")";
        out.type = op[0] == '!' ? Type::i : e.type;
        return out;
    }

    const Var* target() {
        std::vector<const Var*> t;
        for (const Var& v : ints_)
            if (v.assignable) t.push_back(&v);
        return t.empty() ? nullptr : t[static_cast<std::size_t>(roll(r_, static_cast<int>(t.size())))];
    }

    void beep(std::string& oxs, std::string& c, const std::string& in, const Expr& e) {
        oxs += in + "MessageBeep(" + e.oxs + ");\n";
        c += in + "beep((int32_t)" + e.c + ");\n";
    }

    void block(std::string& oxs, std::string& c, int indent, int loops, int count, bool top) {
        for (int k = 0; k < count; ++k) statement(oxs, c, indent, loops, top);
    }

    void statement(std::string& oxs, std::string& c, int indent, int loops, bool top) {
        const std::string in(static_cast<std::size_t>(4 * indent), ' ');
        const int kind = roll(r_, 100);
        if (kind < 30) {
            if (const Var* t = target()) {
                const Expr e = expression(1 + roll(r_, 4));
                oxs += in + t->oxs + " = " + e.oxs + ";\n";
                c += in + t->c + " = " + (t->type == Type::u ? "(uint32_t)" : "(int32_t)") + e.c + ";\n";
            }
        } else if (kind < 45) {
            beep(oxs, c, in, expression(1 + roll(r_, 4)));
        } else if (kind < 60 && indent < 4) {
            conditional(oxs, c, indent, loops, top);
        } else if (kind < 70 && loops < 2 && indent < 4) {
            loop(oxs, c, indent, loops, top);
        } else if (kind < 82 && loops == 0 && !functions_.empty()) {
            const Function& f = functions_[static_cast<std::size_t>(roll(r_, static_cast<int>(functions_.size())))];
            call(oxs, c, f, indent, false);
        } else if (kind < 92) {
            string_op(oxs, c, in, top && loops == 0);
        } else if (loops > 0) {
            const bool brk = r_.chance(50);
            const Expr e = expression(2);
            oxs += in + "if (" + e.oxs + ") { " + (brk ? "break" : "continue") + "; }\n";
            c += in + "if (" + e.c + ") { " + (brk ? "break" : "continue") + "; }\n";
        }
    }

    void conditional(std::string& oxs, std::string& c, int indent, int loops, bool top) {
        const std::string in(static_cast<std::size_t>(4 * indent), ' ');
        const Expr e = expression(1 + roll(r_, 3));
        oxs += in + "if (" + e.oxs + ") {\n";
        c += in + "if (" + e.c + ") {\n";
        block(oxs, c, indent + 1, loops, 1 + roll(r_, 3), top);
        const int elseifs = roll(r_, 3);
        for (int k = 0; k < elseifs; ++k) {
            const Expr x = expression(1 + roll(r_, 3));
            oxs += in + "} elseif (" + x.oxs + ") {\n";
            c += in + "} else if (" + x.c + ") {\n";
            block(oxs, c, indent + 1, loops, 1 + roll(r_, 3), top);
        }
        if (r_.chance(50)) {
            oxs += in + "} else {\n";
            c += in + "} else {\n";
            block(oxs, c, indent + 1, loops, 1 + roll(r_, 3), top);
        }
        oxs += in + "}\n";
        c += in + "}\n";
    }

    // while (cN < limit) { cN = cN + 1; ... }: every loop ends.
    void loop(std::string& oxs, std::string& c, int indent, int loops, bool top) {
        const std::string in(static_cast<std::size_t>(4 * indent), ' ');
        const std::string counter = "c" + std::to_string(loops);
        const std::string limit = std::to_string(1 + roll(r_, 5));
        oxs += in + counter + " = 0;\n" + in + "while (" + counter + " < " + limit + ") {\n" + in + "    " + counter +
               " = " + counter + " + 1;\n";
        c += in + counter + " = 0;\n" + in + "while (" + counter + " < " + limit + ") {\n" + in + "    " + counter +
             " = " + counter + " + 1;\n";
        block(oxs, c, indent + 1, loops + 1, 1 + roll(r_, 4), top);
        oxs += in + "}\n";
        c += in + "}\n";
    }

    const Var& pick_str() { return strs_[static_cast<std::size_t>(roll(r_, static_cast<int>(strs_.size())))]; }

    // strcpy, strcat, strlen and strcmp; a variable is appended or copied only at
    // OnLoad's top level, so that no string doubles in a loop or a call.
    void string_op(std::string& oxs, std::string& c, const std::string& in, bool may_double) {
        const Var& to = pick_str();
        const Var& from = pick_str();
        // Appending a variable only at OnLoad's top level keeps every string short.
        const bool literal = r_.chance(50) || !may_double;
        std::string text;
        for (int k = roll(r_, 6); k > 0; --k) text += static_cast<char>('a' + roll(r_, 4));
        const std::string ox_arg = literal ? "\"" + text + "\"" : from.oxs;
        const std::string c_arg = literal ? "lit(\"" + text + "\")" : from.c;
        const Var* t = target();
        switch (roll(r_, 4)) {
            case 0:
                oxs += in + "strcpy(" + to.oxs + ", " + ox_arg + ");\n";
                c += in + "str_cpy(" + to.c + ", " + c_arg + ");\n";
                break;
            case 1:
                oxs += in + "strcat(" + to.oxs + ", " + ox_arg + ");\n";
                c += in + "str_cat(" + to.c + ", " + c_arg + ");\n";
                break;
            default:
                if (t == nullptr) return;
                if (r_.chance(50)) {
                    oxs += in + "strlen(" + t->oxs + ", " + ox_arg + ");\n";
                    c += in + "str_len((int32_t*)" + t->c_address + ", " + c_arg + ");\n";
                } else {
                    oxs += in + "strcmp(" + t->oxs + ", " + to.oxs + ", " + ox_arg + ");\n";
                    c += in + "str_cmp((int32_t*)" + t->c_address + ", " + to.c + ", " + c_arg + ");\n";
                }
                beep(oxs, c, in, {t->oxs, t->c, t->type, 1});
        }
    }

    // A call with by-value expressions and by-reference variables (the same
    // one twice now and then: aliasing). A recursive callee gets a small depth.
    void call(std::string& oxs, std::string& c, const Function& f, int indent, bool self) {
        const std::string in(static_cast<std::size_t>(4 * indent), ' ');
        std::string ox_args, c_args;
        const Var* previous_ref = nullptr;
        for (std::size_t p = 0; p < f.params.size(); ++p) {
            if (p != 0) {
                ox_args += ", ";
                c_args += ", ";
            }
            const char kind = f.params[p];
            if (p == 0 && f.recursive) {
                const std::string depth = self ? "d - 1" : std::to_string(roll(r_, 4));
                ox_args += depth;
                c_args += depth;
            } else if (kind == 'i' || kind == 'u') {
                const Expr e = expression(2);
                ox_args += e.oxs;
                c_args += std::string(kind == 'u' ? "(uint32_t)" : "(int32_t)") + e.c;
            } else if (kind == 'S') {
                const Var& s = pick_str();
                ox_args += s.oxs;
                c_args += s.c;
            } else {
                const Var* v = previous_ref != nullptr && r_.chance(40) ? previous_ref : target();
                if (v == nullptr) v = &ints_[0];
                previous_ref = v;
                ox_args += v->oxs;
                c_args += std::string(kind == 'U' ? "(uint32_t*)" : "(int32_t*)") + v->c_address;
            }
        }
        oxs += in + f.name + "(" + ox_args + ");\n";
        c += in + g(f.name) + "(" + c_args + ");\n";
    }

    Random r_;
    std::string prefix_;
    std::vector<Var> ints_, strs_;
    std::vector<Function> functions_;
    Function current_;
};

constexpr const char* kPrelude = R"(#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
typedef struct { char *p; size_t n; } str;
static const char *bytes(const str *s) { return s->p ? s->p : ""; }
static str lit_buffer[8];
static int lit_next;
static const str *lit(const char *text) {
    str *s = &lit_buffer[lit_next++ % 8];
    s->p = (char *)text;
    s->n = strlen(text);
    return s;
}
static void str_set(str *d, const char *a, size_t an, const char *b, size_t bn) {
    char *q = malloc(an + bn + 1);
    memcpy(q, a, an);
    memcpy(q + an, b, bn);
    q[an + bn] = 0;
    if (d->p && d->p != q) free(d->p);
    d->p = q;
    d->n = an + bn;
}
static void str_cpy(str *d, const str *s) { str_set(d, bytes(s), s->n, "", 0); }
static void str_cat(str *d, const str *s) { str_set(d, bytes(d), d->n, bytes(s), s->n); }
static void str_len(int32_t *r, const str *s) { *r = (int32_t)s->n; }
static void str_cmp(int32_t *r, const str *a, const str *b) {
    size_t n = a->n < b->n ? a->n : b->n;
    int c = memcmp(bytes(a), bytes(b), n);
    if (c == 0) c = (a->n > b->n) - (a->n < b->n);
    *r = (c > 0) - (c < 0);
}
static int32_t shl_i(int32_t a, uint32_t b) { return (int32_t)((uint32_t)a << (b & 31)); }
static uint32_t shl_u(uint32_t a, uint32_t b) { return a << (b & 31); }
static int32_t shr_i(int32_t a, uint32_t b) { return a >> (b & 31); }
static uint32_t shr_u(uint32_t a, uint32_t b) { return a >> (b & 31); }
static void beep(int32_t v) { printf("%d\n", v); }
)";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: semantic_gen SEED FIRST COUNT DIR\n");
        return 2;
    }
    const std::uint64_t seed = std::stoull(argv[1]);
    const int first = std::stoi(argv[2]), count = std::stoi(argv[3]);
    const std::string dir = argv[4];
    std::string all_c = kPrelude, main_c = "int main(void)\n{\n";
    for (int n = first; n < first + count; ++n) {
        std::string oxs, c;
        Generator(seed, n).write(oxs, c);
        std::ofstream(dir + "/p" + std::to_string(n) + ".oxs", std::ios::binary) << oxs;
        all_c += c;
        main_c += "    printf(\"== " + std::to_string(n) + "\\n\");\n    P" + std::to_string(n) + "_onload();\n";
    }
    std::ofstream(dir + "/batch.c", std::ios::binary) << all_c << main_c << "    return 0;\n}\n";
    return 0;
}
