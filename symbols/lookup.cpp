#include "symbols/lookup.hpp"

#include "driver/compiler.hpp"

namespace oxbuild {

void tell_variable_use(Compiler& c, const Word& name, const std::optional<SymbolInfo>& symbol) {
    c.meaning_listener->variable_used(c.name_here(name.view()), symbol);
}

void report_bad_operand(Compiler& c, const Word& name, const std::optional<SymbolInfo>& symbol) {
    if (!symbol) c.diag.report_error_name(msg::symbol_not_found, name.view());
    else if (is_str_type(symbol->type)) c.diag.report_error(msg::str_in_expression);
    else c.diag.report_error(msg::type_mismatch);  // a function name is no value
}

std::int32_t resolve_slot(Compiler& c, TypeCode type, NameId name, int level) {
    const int type_class = type_class_index(type);
    if (type_class < 0) return 0;
    if (level == 0) {
        const auto slot = c.run.slots.find(type_class, 0, name);
        return slot ? *slot : c.run.global_counts[static_cast<std::size_t>(type_class)];
    }
    const auto slot = c.body_slots.find(type_class, level, name);
    return slot ? *slot : c.body_counts[static_cast<std::size_t>(type_class)];
}

}  // namespace oxbuild
