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

SourceStream::SourceStream(int fd) : fd_(fd), buffer_(kBufferSize), next_(buffer_.data()), limit_(buffer_.data()) {}

SourceStream::~SourceStream() { ::close(fd_); }

// Carriage returns are dropped, a byte 0x1A ends the file, and an empty
// buffer is filled again.
int SourceStream::next_byte_slow() {
    while (true) {
        if (next_ == limit_ && !refill()) return -1;
        const unsigned char c = *next_++;
        if (c == kCarriageReturn) continue;
        if (c == kEndOfFileMark) {
            ended_ = true;
            base_ += next_ - buffer_.data();
            next_ = limit_ = buffer_.data();
            return -1;
        }
        return c;
    }
}

bool SourceStream::refill() {
    if (ended_) return false;
    base_ += limit_ - buffer_.data();
    next_ = limit_ = buffer_.data();
    while (true) {
        const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
        if (n > 0) {
            limit_ = buffer_.data() + n;
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
    next_ = limit_ = buffer_.data();
    base_ = 0;
    ended_ = false;
}

bool SourceStream::same_file_as(const std::string& path) const {
    struct stat mine {}, other {};
    if (::fstat(fd_, &mine) != 0 || ::stat(path.c_str(), &other) != 0) return false;
    return mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

}  // namespace oxbuild
