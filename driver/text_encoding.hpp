// Code page 932 (Shift-JIS) facts the compiler needs: which bytes lead a
// double-byte character, and conversion to UTF-8 for readable output.
#pragma once

#include <string>
#include <string_view>

#include "lexer/char_classes.hpp"  // is_lead_byte

namespace oxbuild {

// Converts code page 932 text to UTF-8. Bytes that do not form a character
// become U+FFFD, so a broken name still prints as one line.
std::string cp932_to_utf8(std::string_view text);

}  // namespace oxbuild
