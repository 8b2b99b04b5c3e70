// A module made ready to run: every function's reachable code translated
// once, at load, into steps whose expressions are trees with precedence
// resolved and operands as direct slot references, so that running never
// looks at the token stream again.
//
//   storage of a frame         cells: int locals, then uint locals
//                              refs:  int& parameters, then uint& parameters
//                              strs:  str locals;  str_refs: str& parameters
//   the globals                cells: int, then uint;  strs: str
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "oxdump/module_model.hpp"
#include "sourcemap/source_map.hpp"

namespace oxrun {

using sourcemap::SourceMap;

// The storage a running function sees: its frame and the globals.
struct Env {
    std::uint32_t* cells = nullptr;
    std::uint32_t** refs = nullptr;
    std::string* strs = nullptr;
    std::string** str_refs = nullptr;
    std::uint32_t* global_cells = nullptr;
    std::string* global_strs = nullptr;
};

// Where a variable lives, resolved at load.
enum class Place : std::uint8_t { local, global, ref };
struct VarAt {
    Place place = Place::local;
    std::uint32_t index = 0;
};

// An expression node: evaluates itself. Leaves and common operator shapes
// read their operands directly (see expression.cpp).
struct Node;
using EvalFn = std::uint32_t (*)(const Node&, const Env&);
struct Node {
    EvalFn eval = nullptr;
    const Node* sub[2] = {nullptr, nullptr};
    std::uint32_t operand[2] = {0, 0};  // a constant or a storage index, per side
    std::uint16_t token = 0;           // the operator, for messages
};

inline std::uint32_t evaluate(const Node& n, const Env& e) { return n.eval(n, e); }

// A call argument as the callee receives it.
struct Argument {
    // A user callee's argument without a destination is value_unused (still
    // evaluated, for its runtime errors) or unused, so that a call tests none.
    enum class Kind : std::uint8_t { value, literal, str_value, cell_ref, str_ref, value_unused, unused };
    Kind kind = Kind::value;
    const Node* value = nullptr;  // value
    std::string literal;          // literal
    VarAt var;                    // str_value, cell_ref, str_ref
    oxbuild::TypeCode parameter = 0;
    std::string name;             // the variable's name for traces (by-reference)
    // A user callee's parameter: where the argument goes in its frame
    // (cells, refs, strs or str_refs by the parameter's type), or none for
    // a parameter without a name.
    std::optional<std::uint32_t> destination;
};

// One instruction, translated. operand is, by kind: the target's storage
// index (assign_*), a step index (jump, loop, jump_if_false), an index into
// the function's calls (call_*) or traps (trap). A loop is a jump to a
// jump_if_false (the end of a while body), run with that condition in one
// dispatch; both count as steps.
struct Step {
    enum class Kind : std::uint8_t {
        assign_local, assign_global, assign_ref, jump, loop, jump_if_false, call_user, call_standard, ret, trap
    };
    Kind kind = Kind::ret;
    std::uint32_t operand = 0;
    std::uint32_t address = 0;    // the instruction's code address
    const Node* expression = nullptr;
};

struct Call {
    std::uint32_t callee = 0;  // user function index or standard number
    std::vector<Argument> arguments;
};

struct FrameSize {
    std::uint32_t cells = 0, refs = 0, strs = 0, str_refs = 0;
};

struct Function {
    std::string name;    // from the source map, else "function N"
    std::uint32_t entry = 0;
    FrameSize frame;
    std::uint32_t int_locals = 0;  // where the uint cells begin
    std::uint32_t int_refs = 0;    // where the uint& refs begin
    std::vector<oxbuild::TypeCode> parameters;
    std::vector<std::string> parameter_names;
    // Where each parameter goes in the frame (as Argument::destination).
    std::vector<std::optional<std::uint32_t>> parameter_destinations;
    std::vector<Step> steps;
    std::vector<Call> calls;
    std::vector<std::string> traps;  // why a step cannot run
};

// Moved, never copied: steps point at the nodes it holds.
struct Program {
    Program() = default;
    Program(Program&&) = default;
    Program& operator=(Program&&) = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    std::vector<Function> functions;
    std::uint32_t global_cells = 0;
    std::uint32_t global_int = 0;  // where the uint globals begin
    std::uint32_t global_strs = 0;
    std::vector<std::int32_t> handlers;  // by event row; -1 for none
    std::shared_ptr<const SourceMap> source;  // nullptr for a module run without its source
    std::deque<Node> nodes;                   // every expression's nodes; a deque keeps them in place

    std::optional<std::uint32_t> handler(std::size_t event_row) const {
        const std::int32_t h = handlers[event_row];
        return h < 0 ? std::nullopt : std::optional<std::uint32_t>(static_cast<std::uint32_t>(h));
    }
};

// Translates a module that read_module accepted. source, when given, names
// functions and variables and places instructions in the source.
Program load_program(const oxdump::Module& module, std::shared_ptr<const SourceMap> source);

}  // namespace oxrun
