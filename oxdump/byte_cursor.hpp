// Reading a module's bytes without ever leaving them: every read goes through
// a cursor over a window of the file and is checked against the window's end
// first. A read that does not fit throws FormatError with the offset of the
// field that was being read, so one catch at the top turns any truncated or
// corrupted module into a one-line message.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace oxdump {

using Offset = std::uint64_t;

// Offsets, counts and handler fields are dwords.
inline constexpr Offset kDwordSize = 4;

// The module is not what the format says: what is wrong, and where.
class FormatError : public std::runtime_error {
public:
    FormatError(Offset offset, const std::string& what) : std::runtime_error(what), offset_(offset) {}
    Offset offset() const { return offset_; }

private:
    Offset offset_;
};

[[noreturn]] void fail(Offset offset, const std::string& what);

// "0x" and the value in upper-case hexadecimal, at least digits wide.
std::string hex(std::uint32_t value, int digits = 4);

// "1 function", "2 functions": a count with its noun for messages.
std::string count_of(std::uint64_t count, std::string_view noun);

// A little-endian reader over bytes [begin, end) of the file. Offsets are
// file offsets throughout, also inside a window.
class Cursor {
public:
    // The window's name ("the file", "the code area") appears in messages.
    Cursor(std::span<const std::uint8_t> file, Offset begin, Offset end, std::string_view window_name);
    explicit Cursor(std::span<const std::uint8_t> file);

    Offset offset() const { return at_; }
    Offset begin() const { return begin_; }
    Offset end() const { return end_; }
    Offset remaining() const { return end_ - at_; }
    bool at_end() const { return at_ == end_; }

    // Moves to a file offset inside the window (its end included).
    void seek(Offset offset, std::string_view field);
    // Checks that count items of size bytes each fit from here, before a
    // count read from the file is used to size anything.
    void require(Offset count, Offset size, std::string_view field) const;

    std::uint8_t byte(std::string_view field);
    std::uint16_t word(std::string_view field);
    std::uint32_t dword(std::string_view field);
    std::int32_t signed_dword(std::string_view field) { return static_cast<std::int32_t>(dword(field)); }
    // A dword holding a file offset that the layout fixes; another value is
    // reported at the field's own offset.
    Offset expected_offset(std::string_view field, Offset expected);
    std::span<const std::uint8_t> bytes(Offset count, std::string_view field);
    // Bytes up to a zero byte, which is consumed and not returned.
    std::string zero_terminated(std::string_view field);

    // A cursor over [begin, end) of the same file, within this window.
    Cursor window(Offset begin, Offset end, std::string_view window_name, std::string_view field) const;

private:
    void need(Offset size, std::string_view field) const;

    std::span<const std::uint8_t> file_;
    Offset begin_;
    Offset end_;
    Offset at_;
    std::string window_name_;
};

}  // namespace oxdump
