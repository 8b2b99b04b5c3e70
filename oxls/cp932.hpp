// Code page 932 (Shift-JIS) and UTF-8, both ways, from one table of the
// double-byte characters: the editor speaks UTF-8, sources are code page
// 932 on disk and in the compiler.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace oxls {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;
// What a character without a code page 932 form becomes in the compiler's text.
inline constexpr unsigned char kUnmappableByte = '?';

// One UTF-8 character at text[at]: its code point (U+FFFD for a malformed
// sequence) and its length in bytes (at least 1).
struct Utf8Char {
    char32_t code;
    std::size_t length;
};
Utf8Char read_utf8(std::string_view text, std::size_t at);
void append_utf8(std::string& out, char32_t code);

// The code page 932 bytes of a character: 1 or 2, or 0 when it has none.
struct Cp932Char {
    unsigned char bytes[2];
    std::size_t length;
};
Cp932Char encode_cp932_char(char32_t code);

// Code page 932 to UTF-8; each byte that begins no character becomes U+FFFD.
std::string cp932_to_utf8(std::string_view text);

// One character at text[at] of code page 932 text: its code point (U+FFFD
// for a byte that begins none) and its length in bytes.
struct DecodedChar {
    char32_t code;
    std::size_t length;
};
DecodedChar read_cp932(std::string_view text, std::size_t at);

// UTF-8 to code page 932. A character without a code page 932 form becomes
// kUnmappableByte, and its UTF-8 offset is listed.
struct Cp932Text {
    std::string bytes;
    std::vector<std::size_t> unmappable;
};
Cp932Text utf8_to_cp932(std::string_view text);

// UTF-16 code units of a code point.
inline std::size_t utf16_length(char32_t code) { return code >= 0x10000 ? 2 : 1; }

}  // namespace oxls
