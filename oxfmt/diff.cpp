#include "oxfmt/diff.hpp"

#include <algorithm>
#include <cstdint>

namespace oxfmt {

namespace {

constexpr std::size_t kContext = 3;
// Beyond this many line pairs the changed middle is one hunk.
constexpr std::size_t kMostPairs = std::size_t{1} << 24;

using Lines = std::vector<std::string_view>;

// Which lines of each side are kept, by a longest common subsequence of
// the middle; false where a line goes or comes.
struct Kept {
    std::vector<bool> old_kept;
    std::vector<bool> new_kept;
};

Kept common_lines(const Lines& a, const Lines& b, std::size_t prefix, std::size_t suffix) {
    Kept k{std::vector<bool>(a.size(), true), std::vector<bool>(b.size(), true)};
    const std::size_t n = a.size() - prefix - suffix, m = b.size() - prefix - suffix;
    for (std::size_t i = 0; i < n; ++i) k.old_kept[prefix + i] = false;
    for (std::size_t j = 0; j < m; ++j) k.new_kept[prefix + j] = false;
    if (n == 0 || m == 0 || n * m > kMostPairs) return k;
    // length[i][j]: the common lines of a[i..n) and b[j..m) of the middle.
    std::vector<std::uint32_t> length((n + 1) * (m + 1), 0);
    const auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return length[i * (m + 1) + j]; };
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            at(i, j) = a[prefix + i] == b[prefix + j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    for (std::size_t i = 0, j = 0; i < n && j < m;) {
        if (a[prefix + i] == b[prefix + j]) {
            k.old_kept[prefix + i++] = true;
            k.new_kept[prefix + j++] = true;
        } else if (at(i + 1, j) >= at(i, j + 1)) {
            ++i;
        } else {
            ++j;
        }
    }
    return k;
}

}  // namespace

std::vector<std::string_view> split_lines(std::string_view text) {
    Lines lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return lines;
}

std::vector<Hunk> line_hunks(std::string_view old_text, std::string_view new_text) {
    const Lines a = split_lines(old_text), b = split_lines(new_text);
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    const Kept kept = common_lines(a, b, prefix, suffix);
    std::vector<Hunk> hunks;
    for (std::size_t i = 0, j = 0; i < a.size() || j < b.size();) {
        if (i < a.size() && j < b.size() && kept.old_kept[i] && kept.new_kept[j]) {
            ++i, ++j;
            continue;
        }
        Hunk h{i, 0, {}};
        for (; i < a.size() && !kept.old_kept[i]; ++i) ++h.count;
        for (; j < b.size() && !kept.new_kept[j]; ++j) h.lines.push_back(b[j]);
        hunks.push_back(std::move(h));
    }
    return hunks;
}

namespace {

void append_lines(std::string& out, char mark, const Lines& lines, std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) {
        out += mark;
        out += lines[k];
        if (lines[k].empty() || lines[k].back() != '\n') out += "\n\\ No newline at end of file\n";
    }
}

std::string range(std::size_t first, std::size_t count) {
    return std::to_string(count == 0 ? first : first + 1) + "," + std::to_string(count);
}

}  // namespace

std::string unified_diff(std::string_view old_text, std::string_view new_text, std::string_view old_name,
                         std::string_view new_name) {
    const std::vector<Hunk> hunks = line_hunks(old_text, new_text);
    if (hunks.empty()) return {};
    const Lines a = split_lines(old_text);
    std::string out = "--- " + std::string(old_name) + "\n+++ " + std::string(new_name) + "\n";
    std::ptrdiff_t shift = 0;  // new line number less old line number before the group
    for (std::size_t g = 0; g < hunks.size();) {
        std::size_t last = g;
        while (last + 1 < hunks.size() && hunks[last + 1].first <= hunks[last].first + hunks[last].count + 2 * kContext)
            ++last;
        const std::size_t from = hunks[g].first >= kContext ? hunks[g].first - kContext : 0;
        const std::size_t to = std::min(a.size(), hunks[last].first + hunks[last].count + kContext);
        std::ptrdiff_t added = 0;
        for (std::size_t k = g; k <= last; ++k)
            added += static_cast<std::ptrdiff_t>(hunks[k].lines.size()) - static_cast<std::ptrdiff_t>(hunks[k].count);
        const auto new_from = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(from) + shift);
        const std::size_t new_count = to - from + static_cast<std::size_t>(static_cast<std::ptrdiff_t>(added));
        out += "@@ -" + range(from, to - from) + " +" + range(new_from, new_count) + " @@\n";
        std::size_t at = from;
        for (std::size_t k = g; k <= last; ++k) {
            append_lines(out, ' ', a, at, hunks[k].first);
            append_lines(out, '-', a, hunks[k].first, hunks[k].first + hunks[k].count);
            append_lines(out, '+', hunks[k].lines, 0, hunks[k].lines.size());
            at = hunks[k].first + hunks[k].count;
        }
        append_lines(out, ' ', a, at, to);
        shift += added;
        g = last + 1;
    }
    return out;
}

}  // namespace oxfmt
