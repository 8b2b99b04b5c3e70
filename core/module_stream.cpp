#include "core/module_stream.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

namespace oxbuild {

std::unique_ptr<ModuleStream> ModuleStream::create(const std::string& path) {
    platform::OutputFile file = platform::OutputFile::create(path);
    if (!file.is_open()) return nullptr;
    return std::unique_ptr<ModuleStream>(new ModuleStream(std::move(file)));
}

std::unique_ptr<ModuleStream> ModuleStream::spool() { return std::unique_ptr<ModuleStream>(new ModuleStream()); }

ModuleStream::ModuleStream(platform::OutputFile file) : file_(std::move(file)), buffer_(new unsigned char[kBufferSize]) {}

ModuleStream::ModuleStream() : spool_(true), buffer_(new unsigned char[kBufferSize]) {}

void ModuleStream::write_out(const unsigned char* data, std::size_t size) {
    if (failed_ || size == 0) return;
    if (!spool_) {
        failed_ = !file_.write_all(data, size);
        return;
    }
    if (!spool_file_.is_open()) spool_file_ = platform::ScratchFile::create();
    failed_ = !spool_file_.is_open() || !spool_file_.write_all(data, size);
}

bool ModuleStream::read_back(const std::function<void(unsigned char*, std::size_t)>& take) {
    if (!spool_ || failed_) return false;
    if (flushed_ > 0) {
        if (!spool_file_.rewind()) return false;
        std::vector<unsigned char> piece(kBufferSize);
        for (std::int64_t left = flushed_; left > 0;) {
            const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, kBufferSize));
            std::size_t got = 0;
            while (got < want) {
                const std::int64_t n = spool_file_.read_some(piece.data() + got, want - got);
                if (n <= 0) return false;
                got += static_cast<std::size_t>(n);
            }
            take(piece.data(), want);
            left -= static_cast<std::int64_t>(want);
        }
    }
    take(buffer_.get(), used_);
    return true;
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
