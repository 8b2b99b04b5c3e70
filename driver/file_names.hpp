// File-name operations. Names are code page 932 byte strings: a lead byte and
// the byte after it are one character, so a trail byte 0x5C is never taken
// for a separator. Both '\' and '/' separate directories; there are no
// drive letters.
#pragma once

#include <string>
#include <string_view>

namespace oxbuild {

// Appends "." and the extension when the last path component has no dot.
std::string add_default_extension(std::string_view name, std::string_view extension);

// Replaces everything after the first dot of the last path component by the
// extension, or appends "." and the extension: prog.tar.oxs -> prog.oxb.
std::string replace_extension(std::string_view name, std::string_view extension);

// The directory part of a path: "" when there is none, the root separator
// kept for a name directly under the root ("\a.oxs" -> "\").
std::string directory_of(std::string_view path);

// Every separator '\' becomes '/', for the file system.
std::string to_system_path(std::string_view name);

}  // namespace oxbuild
