#include "symbols/calls.hpp"

#include <optional>
#include <string>

#include "codegen/emit.hpp"
#include "codegen/expressions.hpp"
#include "driver/compiler.hpp"
#include "driver/pass.hpp"
#include "symbols/lookup.hpp"

namespace oxbuild {

namespace {

enum class ArgumentResult { compiled, stop_statement };

// The variable an argument names. False after a syntax error (no name at
// all); a name no scope knows is reported and leaves symbol empty.
bool read_argument_variable(Compiler& c, std::optional<SymbolInfo>& symbol) {
    Word& name = c.operand;
    c.lex.read_identifier(name);
    if (name.empty()) {
        c.lex.syntax_error();
        return false;
    }
    symbol = lookup_symbol(c, name);
    note_variable_use(c, name, symbol);
    if (!symbol) c.diag.report_error_name(msg::symbol_not_found, name.view());
    return true;
}

// A str by value: a literal (adjacent ones joined) or a str variable.
//   "text"  -> EXPR_STRING bytes 0 [0]      name -> EXPR_VAR <reference>
ArgumentResult compile_str_argument(Compiler& c, int number) {
    c.reader.skip_space();
    if (c.reader.cur() == '"') {
        std::string& text = c.text;
        if (!c.lex.read_string(text, kStringArgumentMax, StringForm::joined_across_lines)) c.diag.report_error(msg::string_over_255);
        emit_string_argument(c.sink, text);
        return ArgumentResult::compiled;
    }
    std::optional<SymbolInfo> symbol;
    if (!read_argument_variable(c, symbol)) return ArgumentResult::stop_statement;
    if (!symbol) return ArgumentResult::compiled;
    if (is_str_type(symbol->type)) {
        emit_variable_operand(c.sink, symbol->type, symbol->local(), symbol->slot);
    } else {
        c.diag.report_error_argument(msg::type_mismatch, number);
    }
    return ArgumentResult::compiled;
}

// By reference: a variable of a fitting type   -> <reference>
ArgumentResult compile_reference_argument(Compiler& c, TypeCode parameter, int number) {
    std::optional<SymbolInfo> symbol;
    if (!read_argument_variable(c, symbol)) return ArgumentResult::stop_statement;
    if (!symbol) return ArgumentResult::compiled;
    const bool wants_str = parameter == TYPE_STR_REF;
    const bool fits = symbol->type != TYPE_FUNCTION && is_str_type(symbol->type) == wants_str;
    if (fits) emit_variable_reference(c.sink, symbol->type, symbol->local(), symbol->slot);
    else c.diag.report_error_argument(msg::type_mismatch, number);
    return ArgumentResult::compiled;
}

ArgumentResult compile_argument(Compiler& c, TypeCode parameter, int number) {
    if (parameter & TYPE_BY_REFERENCE) return compile_reference_argument(c, parameter, number);
    if (parameter == TYPE_STR) return compile_str_argument(c, number);
    // int or uint by value   -> expression EXPR_END
    (void)compile_expression(c);
    emit_token(c.sink, EXPR_END);
    return ArgumentResult::compiled;
}

// The listener hears the statement's name as a call or an assignment's
// target. The white space skipped here is what the statement skips next.
[[gnu::cold]] void tell_statement_name(Compiler& c, const Word& name) {
    const SourcePoint name_end = c.point_here();
    c.reader.skip_space();
    if (c.reader.cur() == '(') {
        c.meaning_listener->function_called({name.view(), name_end});
    } else if (c.reader.cur() == '=') {
        c.meaning_listener->variable_used({name.view(), name_end}, lookup_symbol(c, name));
    }
}

// name ( args ) ;   -> OP_CALL kind number <one argument per parameter>
void compile_call(Compiler& c, const Word& name) {
    c.reader.step_over(1);
    const NameId id = c.names.find(name);
    const std::optional<Prototype> prototype = c.p().prototypes.find(id);
    if (!prototype) {
        c.diag.report_error_name(msg::no_prototype, name.view());
        c.reader.skip_past_semicolon();
        return;
    }
    c.reader.skip_space();
    const auto index = c.run.functions.find_index(id);
    if (!index) late_check(c, LateCheck::function_body, id, name.view());
    c.note_instruction(OP_CALL);
    // A function defined further down gets its kind and number when pass 1
    // ends, in the words after the opcode.
    if (!index && c.spool != nullptr) c.spool->mark_call(c.sink.counter() + kOpcodeBytes, id);
    emit_call(c.sink, index ? static_cast<std::uint16_t>(index->kind) : CALL_USER, index ? index->call_number : 0);

    const std::size_t count = prototype->parameters.size();
    std::size_t given = 0;
    if (c.reader.cur() != ')') {
        while (true) {
            const int number = static_cast<int>(given) + 1;
            if (given >= count) {
                c.diag.report_error_argument(msg::too_many_arguments, number);
                c.reader.skip_past_semicolon();
                return;
            }
            if (compile_argument(c, prototype->parameters[given], number) == ArgumentResult::stop_statement) return;
            ++given;
            const unsigned char ch = c.reader.skip_space_and_peek();
            if (ch == ')') break;
            if (ch != ',') {
                c.lex.syntax_error();
                return;
            }
            c.reader.step_over(1);
        }
    }
    if (given < count) c.diag.report_error_argument(msg::too_few_arguments, static_cast<int>(given) + 1);
    c.reader.step_over(1);
    c.lex.expect_semicolon();
}

// name = expression ;   -> OP_ASSIGN <reference> expression EXPR_END
void compile_assignment(Compiler& c, const Word& name) {
    c.reader.step_over(1);
    if (c.block_level() == 0) {
        c.lex.syntax_error();
        return;
    }
    if (is_digit(static_cast<unsigned char>(name.front()))) {
        c.diag.report_error(msg::bad_assignment_target);
    } else if (const auto symbol = lookup_symbol(c, name); check_operand(c, name, symbol)) {
        c.note_instruction(OP_ASSIGN);
        emit_assignment(c.sink, symbol->type, symbol->local(), symbol->slot);
    }
    if (compile_expression(c)) {
        emit_token(c.sink, EXPR_END);
        c.lex.expect_semicolon();
    } else {
        c.reader.skip_past_semicolon();
    }
}

}  // namespace

void compile_identifier_statement(Compiler& c, const Word& name) {
    if (c.meaning_listener != nullptr) [[unlikely]] tell_statement_name(c, name);
    const unsigned char ch = c.reader.skip_space_and_peek();
    if (ch == '(') compile_call(c, name);
    else if (ch == '=') compile_assignment(c, name);
    else c.lex.syntax_error();
}

}  // namespace oxbuild
