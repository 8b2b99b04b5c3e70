#include "resources/binary_file.hpp"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/regular_file.hpp"

namespace oxbuild {

std::unique_ptr<BinaryFile> BinaryFile::open(const std::string& path) {
    const OpenedFile file = open_regular_file(path);
    if (file.fd < 0) return nullptr;
    return std::unique_ptr<BinaryFile>(new BinaryFile(file.fd));
}

BinaryFile::~BinaryFile() { ::close(fd_); }

std::size_t BinaryFile::read(unsigned char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd_, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::int64_t BinaryFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::optional<std::vector<unsigned char>> read_whole_file(const std::string& path) {
    const auto file = BinaryFile::open(path);
    if (!file) return std::nullopt;
    const std::int64_t size = file->size();
    if (size < 0) return std::nullopt;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    if (file->read(bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
    return bytes;
}

}  // namespace oxbuild
