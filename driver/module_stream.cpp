#include "driver/module_stream.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace oxbuild {

namespace {
constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as fopen does
}

std::unique_ptr<ModuleStream> ModuleStream::create(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode);
    if (fd < 0) return nullptr;
    return std::unique_ptr<ModuleStream>(new ModuleStream(fd));
}

ModuleStream::ModuleStream(int fd) : fd_(fd), buffer_(kBufferSize) {}

ModuleStream::~ModuleStream() {
    if (fd_ >= 0) ::close(fd_);
}

void ModuleStream::write_out(const unsigned char* data, std::size_t size) {
    while (size > 0 && !failed_) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            break;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void ModuleStream::flush() {
    write_out(buffer_.data(), used_);
    flushed_ += static_cast<std::int64_t>(used_);
    used_ = 0;
}

void ModuleStream::write(const unsigned char* data, std::size_t size) {
    if (size >= buffer_.size()) {
        flush();
        write_out(data, size);
        flushed_ += static_cast<std::int64_t>(size);
        return;
    }
    if (used_ + size > buffer_.size()) flush();
    std::memcpy(buffer_.data() + used_, data, size);
    used_ += size;
}

bool ModuleStream::close() {
    flush();
    if (::close(fd_) != 0) failed_ = true;
    fd_ = -1;
    return !failed_;
}

}  // namespace oxbuild
