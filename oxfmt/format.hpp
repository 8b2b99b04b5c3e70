// Formatting a source: the compiler reads it (nothing written), and only a
// source it reads without an error or a warning is laid out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/listener.hpp"
#include "core/messages.hpp"
#include "oxfmt/layout.hpp"
#include "oxfmt/reading.hpp"

namespace oxfmt {

struct Formatted {
    enum class Status { formatted, refused, failed };
    Status status = Status::failed;
    std::string text;      // the laid-out source, when formatted
    std::string messages;  // refused: the compiler's lines; failed: why
    std::vector<std::string> comments;  // the source's comments, in order
};

// path names the source's place (its directory is where relative names
// lead), display_name is the name messages give it; opener opens include
// files (nullptr: from disk).
Formatted format_source(const std::string& path, std::string_view display_name, const std::string& bytes,
                        oxbuild::SourceOpener* opener = nullptr,
                        oxbuild::MessageStyle style = oxbuild::MessageStyle::cp932);

}  // namespace oxfmt
