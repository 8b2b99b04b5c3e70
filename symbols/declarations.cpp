#include "symbols/declarations.hpp"

#include <algorithm>

#include "codegen/statements.hpp"
#include "driver/compiler.hpp"
#include "driver/pass.hpp"
#include "symbols/host_tables.hpp"
#include "symbols/lookup.hpp"

namespace oxbuild {

namespace {

// Numbers a local of the function body being compiled (its slot, new or
// given before, is returned); pass 1 also counts it in the function's
// record (the record added last). Inlined: every local and parameter
// comes here.
[[gnu::always_inline]] inline std::int32_t add_local(Compiler& c, TypeCode type, NameId name, int level) {
    const int type_class = type_class_index(type);
    if (type_class < 0) return 0;
    const auto index = static_cast<std::size_t>(type_class);
    const std::int32_t slot = c.body_slots.add(type_class, level, name, c.body_counts[index]);
    if (c.sink.counting()) c.run.descriptors.set_local_count(index, c.body_counts[index]);
    return slot;
}

// Gives a variable being declared its slot (made in pass 1; pass 2 finds
// the slots pass 1 made).
std::int32_t number_variable(Compiler& c, TypeCode type, NameId name) {
    const int level = c.block_level();
    const int type_class = type_class_index(type);
    std::int32_t slot;
    if (level != 0) {
        slot = add_local(c, type, name, level);
    } else if (c.sink.counting() && type_class >= 0) {
        slot = c.run.slots.add(type_class, 0, name,
                               c.run.global_counts[static_cast<std::size_t>(type_class)]);
    } else {
        slot = resolve_slot(c, type, name, level);
    }
    return slot;
}

// One parameter: "type [&] [name]" or a bare name for an int. False after a
// syntax error.
bool read_parameter(Compiler& c, ParameterList& params, std::size_t index) {
    Word word;
    c.lex.read_identifier(word);
    if (word.empty()) {
        c.lex.syntax_error();
        return false;
    }
    TypeCode type = TYPE_INT;
    std::int32_t slot = -1;
    Word name;
    if (const auto keyword = type_keyword_code(word.view())) {
        type = *keyword;
        if (c.reader.skip_space_and_peek() == '&') {
            c.reader.step_over(1);
            type |= TYPE_BY_REFERENCE;
        }
        c.lex.read_identifier(name);
    } else {
        name = word;
    }
    const bool recorded = index < kMaxParameters;
    if (!name.empty()) {
        const NameId id = c.names.intern(name);  // numbered once, for every table it goes into
        (void)params.declare(c.diag, name, id, type);
        if (recorded) {
            slot = params.counters[static_cast<std::size_t>(type_class_index(type))]++;
            params.add_named(id, type);
        }
        if (c.meaning_listener != nullptr) [[unlikely]] c.meaning_listener->parameter_declared(c.name_here(name.view()), type, index, slot);
    }
    if (recorded) {
        params.types.push_back(type);
        params.slots.push_back(slot);
    }
    return true;
}

// ( [parameter {, parameter}] )   with '(' current. False after a syntax error.
bool read_parameter_list(Compiler& c, ParameterList& params) {
    c.reader.step_over(1);
    if (c.reader.skip_space_and_peek() == ')') {
        c.reader.step_over(1);
        return true;
    }
    for (std::size_t index = 0;; ++index) {
        if (index == kMaxParameters) c.diag.report_error(msg::too_many_arguments);
        if (!read_parameter(c, params, index)) return false;
        const unsigned char ch = c.reader.skip_space_and_peek();
        if (ch == ')') break;
        if (ch != ',') {
            c.lex.syntax_error();
            return false;
        }
        c.reader.step_over(1);
    }
    c.reader.step_over(1);
    return true;
}

// The first prototype or definition declares the name; later ones must
// agree with it (events and standard functions count as declared).
bool declare_or_compare_prototype(Compiler& c, const Word& name, NameId id, const ParameterList& params) {
    PassState& p = c.p();
    const std::optional<Prototype> prototype = p.prototypes.find(id);
    if (!prototype) {
        if (!p.scopes.declare(c.diag, 0, name, id, TYPE_FUNCTION)) return false;
        p.prototypes.add(id, params.types);
    } else if (!std::equal(prototype->parameters.begin(), prototype->parameters.end(), params.types.begin(), params.types.end())) {
        c.diag.report_error_name(msg::redeclared_type, name.view());
    }
    return true;
}

// Marks the user function as given a body; true when it already had one.
bool already_defined(Compiler& c, NameId name) {
    std::uint8_t& defined = c.p().defined_functions[name];
    const bool before = defined != 0;
    defined = 1;
    return before;
}

// {   opens the body as block level 1 with the parameters in scope.
void open_function_body(Compiler& c, const Word& name, NameId id, const ParameterList& params) {
    PassState& p = c.p();
    if (is_standard_function_name(name)) c.diag.report_error_name(msg::standard_function_name, name.view());
    else if (already_defined(c, id))
        c.diag.report_error_name(msg::already_defined, name.view());

    c.reader.step_over(1);
    p.block_level = 1;
    p.scopes.free_level(1);
    open_function_block(c);
    if (c.sink.counting()) {
        FunctionRecord record;
        record.entry = static_cast<std::int32_t>(c.sink.counter());
        record.kind = FunctionKind::user;
        record.parameter_count = static_cast<std::uint16_t>(params.types.size());
        c.run.functions.add(id, record);
        c.run.descriptors.start(record.entry, params.types, params.slots);
    }
    c.body_slots.clear();
    c.body_counts.fill(0);
    // Mostly every parameter was recorded and every named one accepted, so
    // the two lists are one: each scope entry takes the slot just added.
    if (params.types.size() < kMaxParameters && params.named().size() == params.accepted().size()) {
        for (const auto& parameter : params.named())
            p.scopes.add_unchecked(1, parameter.id, parameter.type, add_local(c, parameter.type, parameter.id, 1));
        return;
    }
    for (const auto& parameter : params.named()) add_local(c, parameter.type, parameter.id, 1);
    for (const auto& parameter : params.accepted())
        p.scopes.add_unchecked(1, parameter.id, parameter.type, resolve_slot(c, parameter.type, parameter.id, 1));
}

}  // namespace

void compile_declaration(Compiler& c, TypeCode type) {
    Word name;
    c.lex.read_identifier(name);
    if (name.empty()) {
        c.lex.expect_semicolon();
        return;
    }
    while (true) {
        const NameId id = c.names.intern(name);  // numbered once, for every table it goes into
        ScopeTable& scopes = c.p().scopes;
        if (scopes.may_declare(c.diag, c.block_level(), name, id)) {
            const std::int32_t slot = number_variable(c, type, id);
            scopes.add_unchecked(c.block_level(), id, type, slot);
            if (c.meaning_listener != nullptr) [[unlikely]]
                c.meaning_listener->variable_declared(c.name_here(name.view()), type, c.block_level(), slot);
        }
        if (c.reader.skip_space_and_peek() != ',') break;
        c.reader.step_over(1);
        c.lex.read_identifier(name);
        if (name.empty()) {
            c.lex.syntax_error();
            return;
        }
    }
    c.lex.expect_semicolon();
}

void compile_function_statement(Compiler& c, const Word& name) {
    SourcePoint name_end;
    if (c.meaning_listener != nullptr) [[unlikely]] name_end = c.point_here();
    if (c.reader.skip_space_and_peek() != '(') {
        c.lex.syntax_error();
        return;
    }
    const NameId id = c.names.intern(name);  // numbered once, for every table it goes into
    ParameterList& params = c.parameters;
    params.clear();
    if (!read_parameter_list(c, params)) return;
    if (!declare_or_compare_prototype(c, name, id, params)) return;
    const bool definition = c.reader.skip_space_and_peek() == '{';
    if (c.meaning_listener != nullptr) [[unlikely]] c.meaning_listener->function_declared({name.view(), name_end}, params.types, definition);
    if (!definition) {
        c.lex.expect_semicolon();
        return;
    }
    open_function_body(c, name, id, params);
}

}  // namespace oxbuild
