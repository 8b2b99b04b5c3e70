// A source as both the editor and the compiler see it: UTF-8 text, its code
// page 932 bytes, and the positions between them. Protocol positions count
// UTF-16 code units (or UTF-8 bytes where the client asked for them) on a
// line; the compiler counts code page 932 bytes from the start of a file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace oxls {

enum class PositionUnit { utf16, utf8 };

struct Position {
    int line = 0;
    int character = 0;
    bool operator==(const Position&) const = default;
};

class SourceText {
public:
    SourceText() : SourceText(std::string()) {}
    // The editor's text; characters without a code page 932 form are listed.
    static SourceText from_utf8(std::string utf8) { return SourceText(std::move(utf8)); }
    // A file as read from disk.
    static SourceText from_cp932(std::string_view bytes);

    const std::string& utf8() const { return utf8_; }
    const std::string& cp932() const { return cp932_; }
    // UTF-8 offsets of the characters that became kUnmappableByte.
    const std::vector<std::size_t>& unmappable() const { return unmappable_; }

    int line_count() const { return static_cast<int>(utf8_lines_.size()); }
    // The line's UTF-8 text without its line end.
    std::string_view utf8_line(int line) const;
    int line_length(int line, PositionUnit unit) const;

    Position position_of_cp932(std::size_t offset, PositionUnit unit) const;
    Position position_of_utf8(std::size_t offset, PositionUnit unit) const;
    // Offsets of a position, clamped to its line and the text.
    std::size_t cp932_offset_of(Position at, PositionUnit unit) const;
    std::size_t utf8_offset_of(Position at, PositionUnit unit) const;

    // Replaces the text between two positions (an incremental change).
    void replace(Position from, Position to, std::string_view text, PositionUnit unit);

private:
    explicit SourceText(std::string utf8);
    void index();
    int clamp_line(int line) const;
    std::size_t utf8_line_end(int line) const;

    std::string utf8_;
    std::string cp932_;
    std::vector<std::size_t> unmappable_;
    std::vector<std::size_t> utf8_lines_;   // where each line starts
    std::vector<std::size_t> cp932_lines_;
};

}  // namespace oxls
