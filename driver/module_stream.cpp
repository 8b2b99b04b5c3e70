#include "driver/module_stream.hpp"

#include <cstring>

namespace oxbuild {

std::unique_ptr<ModuleStream> ModuleStream::create(const std::string& path) {
    platform::OutputFile file = platform::OutputFile::create(path);
    if (!file.is_open()) return nullptr;
    return std::unique_ptr<ModuleStream>(new ModuleStream(std::move(file)));
}

ModuleStream::ModuleStream(platform::OutputFile file) : file_(std::move(file)), buffer_(std::make_unique_for_overwrite<unsigned char[]>(kBufferSize)) {}

void ModuleStream::write_out(const unsigned char* data, std::size_t size) {
    if (!failed_ && size > 0 && !file_.write_all(data, size)) failed_ = true;
}

void ModuleStream::flush() {
    write_out(buffer_.get(), used_);
    flushed_ += static_cast<std::int64_t>(used_);
    used_ = 0;
}

void ModuleStream::write(const unsigned char* data, std::size_t size) {
    if (size >= kBufferSize) {
        flush();
        write_out(data, size);
        flushed_ += static_cast<std::int64_t>(size);
        return;
    }
    if (used_ + size > kBufferSize) flush();
    std::memcpy(buffer_.get() + used_, data, size);
    used_ += size;
}

bool ModuleStream::close() {
    flush();
    if (!file_.close()) failed_ = true;
    return !failed_;
}

}  // namespace oxbuild
