// Line differences between a source and its formatted form: hunks of
// replaced lines (for an editor's edits) and the unified diff that --check
// prints.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace oxfmt {

// Lines [first, first + count) of the old text become the new lines (each
// with its line end).
struct Hunk {
    std::size_t first = 0;
    std::size_t count = 0;
    std::vector<std::string_view> lines;
};

// Lines with their line ends; a last line without one is a line too.
std::vector<std::string_view> split_lines(std::string_view text);

// The fewest lines removed and added that turn old into new, as hunks.
std::vector<Hunk> line_hunks(std::string_view old_text, std::string_view new_text);

// "--- old_name" / "+++ new_name" and the hunks with three lines of context.
std::string unified_diff(std::string_view old_text, std::string_view new_text, std::string_view old_name,
                         std::string_view new_name);

}  // namespace oxfmt
