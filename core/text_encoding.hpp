// Code page 932 (Shift-JIS) facts the compiler needs: which bytes lead a
// double-byte character, conversion to UTF-8 for readable output, and
// comparison of ASCII letters without regard to case.
#pragma once

#include <string>
#include <string_view>

#include "core/char_classes.hpp"  // is_lead_byte
#include "platform/platform.hpp"     // cp932_to_utf8, through the system's converter

namespace oxbuild {

using platform::cp932_to_utf8;

// Whether the texts are equal when ASCII letters are taken without their
// case (device names, settings); other bytes must match exactly.
inline bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

}  // namespace oxbuild
