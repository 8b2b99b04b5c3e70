// Code page 932 (Shift-JIS) facts the compiler needs: which bytes lead a
// double-byte character, and conversion to UTF-8 for readable output.
#pragma once

#include <string>
#include <string_view>

#include "lexer/char_classes.hpp"  // is_lead_byte
#include "platform/platform.hpp"     // cp932_to_utf8, through the system's converter

namespace oxbuild {

using platform::cp932_to_utf8;

}  // namespace oxbuild
