#include "oxrun/trace.hpp"

#include "oxdump/printer.hpp"

namespace oxrun {

namespace {

constexpr std::string_view kCallIndent = "  ";
constexpr std::string_view kSeparator = ", ";

std::string argument_text(const HostArg& a) {
    switch (a.type) {
        case oxbuild::TYPE_INT:
        case oxbuild::TYPE_UINT: return std::to_string(a.value);
        case oxbuild::TYPE_STR: return quoted(a.text);
        case oxbuild::TYPE_STR_REF: return "&" + *a.name + "=" + quoted(*a.str);
        default: return "&" + *a.name + "=" + std::to_string(static_cast<std::int32_t>(*a.cell));
    }
}

}  // namespace

std::string quoted(std::string_view cp932) { return oxdump::quote_text(cp932); }

std::string call_line(std::string_view name, std::span<const HostArg> args) {
    std::string line(kCallIndent);
    line += name;
    line += '(';
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (k != 0) line += kSeparator;
        line += argument_text(args[k]);
    }
    return line + ')';
}

std::string event_line(std::string_view name, std::span<const std::int32_t> values, std::string_view reference_name,
                       bool with_handler) {
    std::string line(name);
    line += '(';
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (k != 0) line += kSeparator;
        line += std::to_string(values[k]);
    }
    if (!reference_name.empty()) {
        if (!values.empty()) line += kSeparator;
        line += "&";
        line += reference_name;
    }
    line += ')';
    return with_handler ? line : line + " no handler";
}

std::string result_line(std::string_view name, std::int32_t value) {
    return std::string(kCallIndent) + "-> &" + std::string(name) + "=" + std::to_string(value);
}

void Trace::append_place() {
    const std::string place = locator_->place();
    if (!place.empty()) out_ << "  # " << place;
}

}  // namespace oxrun
