#include "oxls/source_text.hpp"

#include <algorithm>

#include "oxls/cp932.hpp"

namespace oxls {

namespace {

std::vector<std::size_t> line_starts(std::string_view text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = text.find('\n'); i != std::string_view::npos; i = text.find('\n', i + 1))
        starts.push_back(i + 1);
    return starts;
}

// One character of a UTF-8 line: bytes in UTF-8, units in the unit asked
// for, bytes in code page 932.
struct Step {
    std::size_t utf8;
    std::size_t units;
    std::size_t cp932;
};

Step step_at(std::string_view line, std::size_t at, PositionUnit unit) {
    const auto first = static_cast<unsigned char>(line[at]);
    if (first < 0x80) return {1, 1, 1};
    const Utf8Char c = read_utf8(line, at);
    const std::size_t encoded = encode_cp932_char(c.code).length;
    return {c.length, unit == PositionUnit::utf8 ? c.length : utf16_length(c.code), encoded == 0 ? 1 : encoded};
}

}  // namespace

SourceText::SourceText(std::string utf8) : utf8_(std::move(utf8)) { index(); }

// The bytes stay as they were (the compiler reads them); the UTF-8 form has
// one character of the same code page 932 length for every one of them.
SourceText SourceText::from_cp932(std::string_view bytes) {
    SourceText text(cp932_to_utf8(bytes));
    text.cp932_.assign(bytes);
    text.unmappable_.clear();
    text.cp932_lines_ = line_starts(text.cp932_);
    return text;
}

void SourceText::index() {
    Cp932Text encoded = utf8_to_cp932(utf8_);
    cp932_ = std::move(encoded.bytes);
    unmappable_ = std::move(encoded.unmappable);
    utf8_lines_ = line_starts(utf8_);
    cp932_lines_ = line_starts(cp932_);
}

int SourceText::clamp_line(int line) const { return std::clamp(line, 0, line_count() - 1); }

std::size_t SourceText::utf8_line_end(int line) const {
    const auto l = static_cast<std::size_t>(line);
    return l + 1 < utf8_lines_.size() ? utf8_lines_[l + 1] - 1 : utf8_.size();
}

std::string_view SourceText::utf8_line(int line) const {
    if (line < 0 || line >= line_count()) return {};
    const std::size_t start = utf8_lines_[static_cast<std::size_t>(line)];
    std::string_view text(utf8_.data() + start, utf8_line_end(line) - start);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    return text;
}

int SourceText::line_length(int line, PositionUnit unit) const {
    const std::string_view text = utf8_line(line);
    std::size_t units = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Step s = step_at(text, at, unit);
        at += s.utf8;
        units += s.units;
    }
    return static_cast<int>(units);
}

Position SourceText::position_of_cp932(std::size_t offset, PositionUnit unit) const {
    offset = std::min(offset, cp932_.size());
    const auto after = std::upper_bound(cp932_lines_.begin(), cp932_lines_.end(), offset);
    const int line = static_cast<int>(after - cp932_lines_.begin()) - 1;
    const std::size_t column = offset - cp932_lines_[static_cast<std::size_t>(line)];
    const std::size_t start = utf8_lines_[static_cast<std::size_t>(line)];
    const std::string_view text(utf8_.data() + start, utf8_line_end(line) - start);
    std::size_t bytes = 0, units = 0;
    for (std::size_t at = 0; at < text.size() && bytes < column;) {
        const Step s = step_at(text, at, unit);
        at += s.utf8;
        bytes += s.cp932;
        units += s.units;
    }
    return {line, static_cast<int>(units)};
}

Position SourceText::position_of_utf8(std::size_t offset, PositionUnit unit) const {
    offset = std::min(offset, utf8_.size());
    const auto after = std::upper_bound(utf8_lines_.begin(), utf8_lines_.end(), offset);
    const int line = static_cast<int>(after - utf8_lines_.begin()) - 1;
    const std::size_t start = utf8_lines_[static_cast<std::size_t>(line)];
    const std::string_view text(utf8_.data() + start, offset - start);
    std::size_t units = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Step s = step_at(text, at, unit);
        at += s.utf8;
        units += s.units;
    }
    return {line, static_cast<int>(units)};
}

std::size_t SourceText::utf8_offset_of(Position at, PositionUnit unit) const {
    if (at.line >= line_count()) return utf8_.size();
    const int line = clamp_line(at.line);
    const std::size_t start = utf8_lines_[static_cast<std::size_t>(line)];
    const std::string_view text(utf8_.data() + start, utf8_line_end(line) - start);
    std::size_t offset = 0, units = 0;
    while (offset < text.size() && units < static_cast<std::size_t>(std::max(at.character, 0))) {
        const Step s = step_at(text, offset, unit);
        offset += s.utf8;
        units += s.units;
    }
    return start + offset;
}

std::size_t SourceText::cp932_offset_of(Position at, PositionUnit unit) const {
    if (at.line >= line_count()) return cp932_.size();
    const int line = clamp_line(at.line);
    const std::size_t start = utf8_lines_[static_cast<std::size_t>(line)];
    const std::string_view text(utf8_.data() + start, utf8_line_end(line) - start);
    std::size_t offset = 0, units = 0, bytes = 0;
    while (offset < text.size() && units < static_cast<std::size_t>(std::max(at.character, 0))) {
        const Step s = step_at(text, offset, unit);
        offset += s.utf8;
        units += s.units;
        bytes += s.cp932;
    }
    return cp932_lines_[static_cast<std::size_t>(line)] + bytes;
}

void SourceText::replace(Position from, Position to, std::string_view text, PositionUnit unit) {
    std::size_t begin = utf8_offset_of(from, unit);
    std::size_t end = utf8_offset_of(to, unit);
    if (end < begin) std::swap(begin, end);
    utf8_.replace(begin, end - begin, text);
    index();
}

}  // namespace oxls
