// The host interface: the standard functions that module code calls by
// number and the events whose handlers a module may define. The numbers,
// parameter lists and the order of the events are the host's.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "format/bytecode.hpp"
#include "lexer/word.hpp"

namespace oxbuild {

struct StandardFunction {
    std::uint16_t number;
    std::string_view name;
    std::span<const TypeCode> parameters;
};

struct EventRow {
    std::string_view name;
    std::span<const TypeCode> parameters;
};

// All 57 rows in table order. Numbers are not contiguous nor in row order.
std::span<const StandardFunction> standard_functions();

// All 11 rows in table order. The first three have fixed handler fields in
// the function table; the rest form the event handler table.
std::span<const EventRow> events();
inline constexpr std::size_t kFixedHandlerEvents = 3;

// Which first characters and lengths the standard functions' names have.
extern const NameFilter kStandardFunctionFilter;
bool is_standard_function_name_in_table(const NameKey& name);

// Whether the name is a standard function's (exact, case-sensitive). Most
// names are ruled out by the filter, without a call.
inline bool is_standard_function_name(const NameKey& name) {
    return kStandardFunctionFilter.may_hold(name.text) && is_standard_function_name_in_table(name);
}

}  // namespace oxbuild
