#include "driver/regular_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oxbuild {

OpenedFile open_regular_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {};
    }
    return {fd, static_cast<std::int64_t>(st.st_size)};
}

}  // namespace oxbuild
