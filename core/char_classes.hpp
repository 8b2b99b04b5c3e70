// The classes of source bytes, in one table that every scanner of the
// reader and the token readers indexes. Byte 0 belongs to no class: it is
// the sentinel that ends the valid data of the reader's buffer, so every
// scanning loop stops there without testing a bound.
#pragma once

#include <array>
#include <cstdint>

namespace oxbuild {

enum CharClass : std::uint8_t {
    kClassBlank = 1 << 0,      // ' ' and tab: white space within a line
    kClassLineFeed = 1 << 1,   // the only line end
    kClassWord = 1 << 2,       // A-Z a-z 0-9 _
    kClassDigit = 1 << 3,      // 0-9
    kClassHexDigit = 1 << 4,   // 0-9 A-F a-f
    kClassLeadByte = 1 << 5,   // first byte of a double-byte character of code page 932
    kClassStringStop = 1 << 6, // a byte a string body cannot copy as it is
    kClassPlain = 1 << 7,      // above the blank and no '/': begins no white space and no comment
    kClassSpace = kClassBlank | kClassLineFeed,
};

namespace detail {
constexpr std::array<std::uint8_t, 256> make_char_classes() {
    std::array<std::uint8_t, 256> t{};
    const auto add = [&t](int from, int to, std::uint8_t cls) {
        for (int c = from; c <= to; ++c) t[static_cast<std::size_t>(c)] |= cls;
    };
    add(' ', ' ', kClassBlank);
    add('\t', '\t', kClassBlank);
    add('\n', '\n', kClassLineFeed);
    add('a', 'z', kClassWord);
    add('A', 'Z', kClassWord);
    add('_', '_', kClassWord);
    add('0', '9', kClassWord | kClassDigit | kClassHexDigit);
    add('a', 'f', kClassHexDigit);
    add('A', 'F', kClassHexDigit);
    add(0x81, 0x9F, kClassLeadByte);
    add(0xE0, 0xFC, kClassLeadByte);
    // A string body stops at its closing quote, an escape, a line feed (to
    // count the line), a lead byte (whose trail byte is never an escape)
    // and the sentinel.
    add('"', '"', kClassStringStop);
    add('\\', '\\', kClassStringStop);
    add('\n', '\n', kClassStringStop);
    add(0, 0, kClassStringStop);
    add(0x81, 0x9F, kClassStringStop);
    add(0xE0, 0xFC, kClassStringStop);
    add(' ' + 1, 0xFF, kClassPlain);
    t['/'] &= static_cast<std::uint8_t>(~kClassPlain);
    return t;
}
inline constexpr std::array<std::uint8_t, 256> kCharClasses = make_char_classes();
}  // namespace detail

constexpr bool has_class(unsigned char c, std::uint8_t cls) { return (detail::kCharClasses[c] & cls) != 0; }

// These take a byte value or -1 (the end of a file), which is in no class.
constexpr bool in_class(int c, std::uint8_t cls) { return c >= 0 && has_class(static_cast<unsigned char>(c), cls); }
constexpr bool is_word_char(int c) { return in_class(c, kClassWord); }
constexpr bool is_digit(int c) { return in_class(c, kClassDigit); }
constexpr bool is_hex_digit(int c) { return in_class(c, kClassHexDigit); }
constexpr bool is_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Lead bytes of code page 932: 0x81-0x9F and 0xE0-0xFC.
constexpr bool is_lead_byte(int c) { return in_class(c, kClassLeadByte); }

}  // namespace oxbuild
