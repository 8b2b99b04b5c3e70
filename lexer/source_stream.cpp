#include "lexer/source_stream.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/fatal.hpp"

namespace oxbuild {

std::unique_ptr<SourceStream> SourceStream::open(const std::string& path) {
    // Non-blocking, so that opening a FIFO does not wait for a writer; only
    // regular files are read (a device or pipe could block or never end).
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SourceStream>(new SourceStream(fd));
}

SourceStream::SourceStream(int fd) : fd_(fd), buffer_(kBufferSize) {}

SourceStream::~SourceStream() { ::close(fd_); }

bool SourceStream::refill() {
    if (ended_) return false;
    base_ += static_cast<std::int64_t>(len_);
    pos_ = len_ = 0;
    while (true) {
        const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
        if (n > 0) {
            len_ = static_cast<std::size_t>(n);
            return true;
        }
        if (n == 0) {
            ended_ = true;
            return false;
        }
        if (errno != EINTR) fatal_stop("read error in a source file");
    }
}

void SourceStream::rewind() {
    if (::lseek(fd_, 0, SEEK_SET) != 0) fatal_stop("cannot rewind the source file");
    pos_ = len_ = 0;
    base_ = 0;
    ended_ = false;
}

bool SourceStream::same_file_as(const std::string& path) const {
    struct stat mine {}, other {};
    if (::fstat(fd_, &mine) != 0 || ::stat(path.c_str(), &other) != 0) return false;
    return mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

}  // namespace oxbuild
