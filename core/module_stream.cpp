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

std::unique_ptr<ModuleStream> ModuleStream::spool(std::size_t memory_bound) {
    return std::unique_ptr<ModuleStream>(new ModuleStream(memory_bound));
}

ModuleStream::ModuleStream(platform::OutputFile file) : file_(std::move(file)) { new_buffer(kFirstBuffer); }

ModuleStream::ModuleStream(std::size_t memory_bound) : spool_(true), memory_bound_(memory_bound) {
    new_buffer(kFirstBuffer);
}

ModuleStream::Buffer ModuleStream::allocate(std::size_t capacity) {
    const std::align_val_t alignment{capacity >= platform::kLargePage ? platform::kLargePage : alignof(std::max_align_t)};
    Buffer buffer(static_cast<unsigned char*>(::operator new(capacity, alignment)), FreeStreamBuffer{alignment});
    if (capacity >= platform::kLargePage) platform::advise_large_pages(buffer.get(), capacity);
    return buffer;
}

void ModuleStream::new_buffer(std::size_t capacity) {
    buffer_ = allocate(capacity);
    capacity_ = capacity;
    used_ = 0;
}

void ModuleStream::write_out(const unsigned char* data, std::size_t size) {
    if (failed_ || size == 0) return;
    if (!spool_) {
        failed_ = !file_.write_all(data, size);
        return;
    }
    if (!spool_file_.is_open()) spool_file_ = platform::ScratchFile::create();
    failed_ = !spool_file_.is_open() || !spool_file_.write_all(data, size);
    file_bytes_ += static_cast<std::int64_t>(size);
}

// A spool's full buffer stays in memory while the bound allows and nothing
// has gone to the file yet (the kept bytes are the first ones).
bool ModuleStream::keep_in_memory() {
    if (!spool_ || spool_file_.is_open() || kept_bytes_ + used_ > memory_bound_) return false;
    kept_.push_back({std::move(buffer_), used_});
    kept_bytes_ += used_;
    return true;
}

void ModuleStream::flush() {
    if (used_ == 0) return;
    flushed_ += static_cast<std::int64_t>(used_);
    if (keep_in_memory()) {
        new_buffer(kLargestBuffer);
        return;
    }
    write_out(buffer_.get(), used_);
    if (capacity_ != kLargestBuffer) new_buffer(kLargestBuffer);
    used_ = 0;
}

bool ModuleStream::read_back_file(const std::function<void(unsigned char*, std::size_t)>& take) {
    if (!spool_file_.rewind()) return false;
    std::vector<unsigned char> piece(static_cast<std::size_t>(std::min<std::int64_t>(file_bytes_, kLargestBuffer)));
    for (std::int64_t left = file_bytes_; left > 0;) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, kLargestBuffer));
        std::size_t got = 0;
        while (got < want) {
            const std::int64_t n = spool_file_.read_some(piece.data() + got, want - got);
            if (n <= 0) return false;
            got += static_cast<std::size_t>(n);
        }
        take(piece.data(), want);
        left -= static_cast<std::int64_t>(want);
    }
    return true;
}

bool ModuleStream::read_back(const std::function<void(unsigned char*, std::size_t)>& take) {
    if (!spool_ || failed_) return false;
    for (Piece& piece : kept_) {
        take(piece.bytes.get(), piece.size);
        piece.bytes.reset();
    }
    if (file_bytes_ > 0 && !read_back_file(take)) return false;
    take(buffer_.get(), used_);
    return true;
}

// A large piece (the spooled code, a wave) goes out as it is, uncopied.
void ModuleStream::write(const unsigned char* data, std::size_t size) {
    if (size >= kFirstBuffer || size >= capacity_) {
        flush();
        write_out(data, size);
        flushed_ += static_cast<std::int64_t>(size);
        return;
    }
    if (used_ + size > capacity_) flush();
    std::memcpy(buffer_.get() + used_, data, size);
    used_ += size;
}

bool ModuleStream::close() {
    flush();
    if (!file_.close()) failed_ = true;
    return !failed_;
}

}  // namespace oxbuild
