// Code page 932 (Shift-JIS) facts the compiler needs: which bytes lead a
// double-byte character, and conversion to UTF-8 for readable output.
#pragma once

#include <string>
#include <string_view>

namespace oxbuild {

// Lead bytes of code page 932: 0x81-0x9F and 0xE0-0xFC.
constexpr bool is_lead_byte(int c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Converts code page 932 text to UTF-8. Bytes that do not form a character
// become U+FFFD, so a broken name still prints as one line.
std::string cp932_to_utf8(std::string_view text);

}  // namespace oxbuild
