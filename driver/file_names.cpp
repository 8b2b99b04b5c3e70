#include "driver/file_names.hpp"

#include "driver/text_encoding.hpp"

namespace oxbuild {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool is_separator(char c) { return c == '\\' || c == '/'; }

// Calls visit(index) for every character start, skipping trail bytes.
template <typename Visit>
void for_each_character(std::string_view name, Visit visit) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        visit(i);
        if (is_lead_byte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) ++i;
    }
}

std::size_t last_separator(std::string_view name) {
    std::size_t found = kNone;
    for_each_character(name, [&](std::size_t i) {
        if (is_separator(name[i])) found = i;
    });
    return found;
}

// The first dot of the last path component, or kNone.
std::size_t first_dot_of_last_component(std::string_view name) {
    const std::size_t separator = last_separator(name);
    const std::size_t from = separator == kNone ? 0 : separator + 1;
    std::size_t found = kNone;
    for_each_character(name, [&](std::size_t i) {
        if (found == kNone && i >= from && name[i] == '.') found = i;
    });
    return found;
}

}  // namespace

std::string add_default_extension(std::string_view name, std::string_view extension) {
    std::string result(name);
    if (first_dot_of_last_component(name) == kNone) {
        result += '.';
        result += extension;
    }
    return result;
}

std::string replace_extension(std::string_view name, std::string_view extension) {
    const std::size_t dot = first_dot_of_last_component(name);
    std::string result(name.substr(0, dot == kNone ? name.size() : dot));
    result += '.';
    result += extension;
    return result;
}

std::string directory_of(std::string_view path) {
    const std::size_t separator = last_separator(path);
    if (separator == kNone) return "";
    if (separator == 0) return std::string(path.substr(0, 1));
    return std::string(path.substr(0, separator));
}

std::string to_system_path(std::string_view name) {
    std::string result(name);
    for_each_character(name, [&](std::size_t i) {
        if (result[i] == '\\') result[i] = '/';
    });
    return result;
}

}  // namespace oxbuild
