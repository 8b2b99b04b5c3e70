// File-name operations. Names are code page 932 byte strings: a lead byte and
// the byte after it are one character, so a trail byte 0x5C is never taken
// for a separator. Both '\' and '/' separate directories. The names of the
// POSIX build have no drive letters; the rules for names with drives (the
// Windows build) are kept here as well, apart from the system, so that both
// builds test them.
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

// Names with drives.

// A path's drive letter (without the colon) and its directory, the file name
// dropped: D:\work\src\a.oxs gives D and \work\src; D:\a.oxs gives D and \;
// \a.oxs gives "" and \; src\a.oxs "" and src; D:a.oxs D and ""; a.oxs "" and "".
struct DriveAndDirectory {
    std::string drive;
    std::string directory;
};
DriveAndDirectory split_drive_and_directory(std::string_view path);

// The directory that relative names given by a source lead to, with its
// drive: "D:\work\src", "D:\", "\", "src", "D:" (drive D's own current
// directory) or "" (the current one).
std::string directory_with_drive(std::string_view source_name);

// A name that a source gives, taken from that directory and its drive: a
// name with a drive or a network name (\\server\share) stays as it is, a
// rooted one (\inc.oxs) goes to the root of the directory's drive, and a
// relative one into the directory.
std::string resolve_on_drive(std::string_view directory, std::string_view name);

// Whether the name is a device rather than a file: the device namespace
// (\\.\...) or a reserved device name such as CON, NUL, COM1 or LPT1 as
// the last component, with any extension (nul.oxs is the device NUL too).
bool is_device_name(std::string_view name);

}  // namespace oxbuild
