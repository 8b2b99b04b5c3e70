#include "lexer/source_stream.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/fatal.hpp"
#include "driver/regular_file.hpp"

namespace oxbuild {

std::unique_ptr<SourceStream> SourceStream::open(const std::string& path) {
    const OpenedFile file = open_regular_file(path);
    if (file.fd < 0) return nullptr;
    const auto size = static_cast<std::uint64_t>(file.size) + 1;  // one more byte meets the end at once
    const std::size_t buffer_size = size < kBufferSize ? static_cast<std::size_t>(size) : kBufferSize;
    return std::unique_ptr<SourceStream>(new SourceStream(file.fd, buffer_size));
}

SourceStream::SourceStream(int fd, std::size_t buffer_size)
    : fd_(fd),
      storage_(new unsigned char[buffer_size]),
      buffer_(storage_.get(), buffer_size),
      next_(buffer_.data()),
      limit_(buffer_.data()) {}

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
