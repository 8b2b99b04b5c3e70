#include "driver/dependency_file.hpp"

#include "platform/platform.hpp"

namespace oxbuild {

namespace {

// Characters that end a name, or a line, unless a backslash quotes them.
bool needs_backslash(char ch) { return ch == ' ' || ch == '\t' || ch == '#' || ch == ':'; }

// A line end cannot stand in a name at all. Backslashes at the end of a name
// would quote the blank or the line end after it; every backslash but a code
// page 932 trail byte reaches the file system as '/', so only such a name
// can end in one.
bool can_escape(std::string_view name) {
    return !name.empty() && name.back() != '\\' && name.find_first_of("\n\r") == std::string_view::npos;
}

// Appends the name as make reads it back: "\ ", "\#", "\:" and "$$", and
// each run of backslashes before a quoted character doubled, since make (and
// ninja before a blank) reads 2N+1 backslashes there as N and a quote.
void append_escaped(std::string& out, std::string_view name) {
    std::size_t backslashes = 0;
    for (const char ch : name) {
        if (needs_backslash(ch)) out.append(backslashes + 1, '\\');
        else if (ch == '$') out += '$';
        out += ch;
        backslashes = ch == '\\' ? backslashes + 1 : 0;
    }
}

// Whether path names an existing file that is the module or an input.
bool names_a_file_of_the_build(const std::string& path, const std::string& module_path, const InputFiles& inputs) {
    if (platform::same_file(path, module_path)) return true;
    for (const std::string& input : inputs.names())
        if (platform::same_file(path, input)) return true;
    return false;
}

}  // namespace

std::optional<std::string> dependency_rule(std::string_view target, std::span<const std::string> prerequisites) {
    if (!can_escape(target)) return std::nullopt;
    std::string rule;
    append_escaped(rule, target);
    rule += ':';
    for (const std::string& name : prerequisites) {
        if (!can_escape(name)) return std::nullopt;
        rule += ' ';
        append_escaped(rule, name);
    }
    rule += '\n';
    for (std::size_t i = 1; i < prerequisites.size(); ++i) {
        append_escaped(rule, prerequisites[i]);
        rule += ":\n";
    }
    return rule;
}

bool write_dependency_file(const std::string& path, const std::string& module_path, const InputFiles& inputs) {
    const auto rule = dependency_rule(module_path, inputs.names());
    if (!rule || names_a_file_of_the_build(path, module_path, inputs)) return false;
    return platform::replace_file(path, *rule);
}

}  // namespace oxbuild
