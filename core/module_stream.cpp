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

std::unique_ptr<ModuleStream> ModuleStream::spool(std::size_t memory_bound, const SpoolBuffers& buffers) {
    return std::unique_ptr<ModuleStream>(new ModuleStream(memory_bound, buffers));
}

ModuleStream::ModuleStream(platform::OutputFile file) : file_(std::move(file)) { new_buffer(kFirstBuffer); }

ModuleStream::ModuleStream(std::size_t memory_bound, const SpoolBuffers& buffers)
    : spool_(true), memory_bound_(memory_bound), buffers_(buffers) {
    new_buffer(buffers_.first);
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
    kept_.push_back({std::move(buffer_), used_, capacity_});
    kept_bytes_ += used_;
    return true;
}

void ModuleStream::flush() {
    if (used_ == 0) return;
    flushed_ += static_cast<std::int64_t>(used_);
    if (keep_in_memory()) {
        new_buffer(buffers_.in_memory);
        return;
    }
    write_out(buffer_.get(), used_);
    if (capacity_ != buffers_.to_file) new_buffer(buffers_.to_file);
    used_ = 0;
}

std::span<unsigned char> ModuleStream::Pieces::next_from_file() {
    ModuleStream& s = *spool_;
    if (file_left_ < 0) {
        if (!s.spool_file_.rewind()) return failed_ = true, std::span<unsigned char>{};
        file_left_ = s.file_bytes_;
    }
    if (read_ == nullptr) {
        read_capacity_ = static_cast<std::size_t>(std::min<std::int64_t>(file_left_, kReadPiece));
        read_ = allocate(read_capacity_);
    }
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(file_left_, read_capacity_));
    for (std::size_t got = 0; got < want;) {
        const std::int64_t n = s.spool_file_.read_some(read_.get() + got, want - got);
        if (n <= 0) return failed_ = true, std::span<unsigned char>{};
        got += static_cast<std::size_t>(n);
    }
    file_left_ -= static_cast<std::int64_t>(want);
    return {read_.get(), want};
}

// The last kept piece's buffer, already in memory, takes the bytes read
// back from the file, instead of a new one that would fault its pages in
// again (as many faults as the file has small pages, up to the largest
// buffer), unless it is smaller than a read piece.
void ModuleStream::Pieces::let_go(std::size_t kept) {
    ModuleStream& s = *spool_;
    Piece& given = s.kept_[kept];
    const bool file_follows = kept + 1 == s.kept_.size() && s.file_bytes_ > 0;
    if (file_follows && given.capacity >= kReadPiece && read_ == nullptr) {
        read_ = std::move(given.bytes);
        read_capacity_ = given.capacity;
    }
    given.bytes.reset();
}

std::span<unsigned char> ModuleStream::Pieces::next() {
    ModuleStream& s = *spool_;
    if (failed_ || !s.spool_ || s.failed_) return failed_ = true, std::span<unsigned char>{};
    if (kept_ > 0) let_go(kept_ - 1);
    if (kept_ < s.kept_.size()) {
        Piece& piece = s.kept_[kept_++];
        return {piece.bytes.get(), piece.size};
    }
    if (s.file_bytes_ > 0 && file_left_ != 0) return next_from_file();
    if (last_given_ || s.used_ == 0) return {};
    last_given_ = true;
    return {s.buffer_.get(), s.used_};
}

bool ModuleStream::read_back(const std::function<void(unsigned char*, std::size_t)>& take) {
    Pieces pieces(*this);
    for (std::span<unsigned char> piece = pieces.next(); !piece.empty(); piece = pieces.next())
        take(piece.data(), piece.size());
    return !pieces.failed();
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
