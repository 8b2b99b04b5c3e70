// Opening input files: only regular files are read, and they are opened
// without blocking, so that a FIFO or a device named as a source, include,
// bitmap or wave can neither hang the compiler nor feed it endlessly.
#pragma once

#include <cstdint>
#include <string>

namespace oxbuild {

struct OpenedFile {
    int fd = -1;             // -1 when the file cannot be opened or is no regular file
    std::int64_t size = 0;   // its size when it was opened
};

OpenedFile open_regular_file(const std::string& path);

}  // namespace oxbuild
