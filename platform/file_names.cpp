#include "platform/file_names.hpp"

#include <algorithm>
#include <array>

#include "core/text_encoding.hpp"

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

std::size_t last_of(std::string_view name, char wanted) {
    std::size_t found = kNone;
    for_each_character(name, [&](std::size_t i) {
        if (name[i] == wanted) found = i;
    });
    return found;
}

bool has_drive_letter(std::string_view name) {
    const auto first = static_cast<unsigned char>(name.empty() ? 0 : name[0]);
    return name.size() >= 2 && name[1] == ':' && ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'));
}

bool is_network_name(std::string_view name) { return name.size() >= 2 && is_separator(name[0]) && is_separator(name[1]); }

// "D:", "\\server\share" or "": what a rooted name is put after.
std::string_view drive_prefix(std::string_view directory) {
    if (has_drive_letter(directory)) return directory.substr(0, 2);
    if (!is_network_name(directory)) return {};
    std::size_t separators = 0;
    std::size_t end = directory.size();
    for_each_character(directory, [&](std::size_t i) {
        if (i >= 2 && end == directory.size() && is_separator(directory[i]) && ++separators == 2) end = i;
    });
    return directory.substr(0, end);
}

// Whether the name ends with a separator that is no trail byte.
bool ends_with_separator(std::string_view name) {
    const std::size_t separator = last_separator(name);
    return separator != kNone && separator + 1 == name.size();
}

constexpr std::array<std::string_view, 26> kDeviceNames = {
    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3",    "COM4",     "COM5",
    "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",    "LPT4",     "LPT5",
    "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$", "CLOCK$", "CONERR$",
};

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

DriveAndDirectory split_drive_and_directory(std::string_view path) {
    DriveAndDirectory parts;
    const std::size_t separator = last_separator(path);
    if (separator == kNone) {
        const std::size_t colon = last_of(path, ':');
        if (colon != kNone) parts.drive = path.substr(0, colon);
        return parts;
    }
    // A separator that begins the name or follows the drive is the root.
    const bool root = separator == 0 || path[separator - 1] == ':';
    const std::string_view kept = path.substr(0, root ? separator + 1 : separator);
    const std::size_t colon = last_of(kept, ':');
    if (colon == kNone) {
        parts.directory = kept;
        return parts;
    }
    parts.drive = kept.substr(0, colon);
    parts.directory = kept.substr(colon + 1);
    return parts;
}

std::string directory_with_drive(std::string_view source_name) {
    const DriveAndDirectory parts = split_drive_and_directory(source_name);
    return parts.drive.empty() ? parts.directory : parts.drive + ":" + parts.directory;
}

std::string resolve_on_drive(std::string_view directory, std::string_view name) {
    if (has_drive_letter(name) || is_network_name(name)) return std::string(name);
    std::string resolved;
    if (!name.empty() && is_separator(name[0])) {
        resolved = drive_prefix(directory);
    } else if (!directory.empty()) {
        resolved = directory;
        const bool drive_only = resolved.size() == 2 && has_drive_letter(resolved);
        if (!drive_only && !ends_with_separator(resolved)) resolved += '\\';
    }
    resolved += name;
    return resolved;
}

bool is_device_name(std::string_view name) {
    if (name.size() >= 4 && is_separator(name[0]) && is_separator(name[1]) && name[2] == '.' &&
        is_separator(name[3]))
        return true;
    const std::size_t separator = last_separator(name);
    std::string_view last = name.substr(separator == kNone ? 0 : separator + 1);
    if (separator == kNone && has_drive_letter(last)) last.remove_prefix(2);
    last = last.substr(0, std::min(last.find('.'), last.find(':')));
    while (!last.empty() && last.back() == ' ') last.remove_suffix(1);
    for (const std::string_view device : kDeviceNames)
        if (equal_ignoring_ascii_case(last, device)) return true;
    return false;
}

}  // namespace oxbuild
