// The module file, written through a buffer. The first write failure sticks
// and is checked once at the end, so a short module is never reported as
// created.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.hpp"

namespace oxbuild {

class ModuleStream {
public:
    // Creates or truncates the file; nullptr when it cannot be opened.
    static std::unique_ptr<ModuleStream> create(const std::string& path);
    ModuleStream(const ModuleStream&) = delete;
    ModuleStream& operator=(const ModuleStream&) = delete;

    void put(unsigned char byte) {
        if (used_ == kBufferSize) flush();
        buffer_[used_++] = byte;
    }
    // Two bytes, little-endian.
    void put_word(std::uint32_t value) {
        if (kBufferSize - used_ < 2) flush();
        unsigned char* at = buffer_.get() + used_;
        at[0] = static_cast<unsigned char>(value);
        at[1] = static_cast<unsigned char>(value >> 8);
        used_ += 2;
    }
    // Four bytes, little-endian.
    void put_dword(std::uint32_t value) {
        if (kBufferSize - used_ < 4) flush();
        unsigned char* at = buffer_.get() + used_;
        at[0] = static_cast<unsigned char>(value);
        at[1] = static_cast<unsigned char>(value >> 8);
        at[2] = static_cast<unsigned char>(value >> 16);
        at[3] = static_cast<unsigned char>(value >> 24);
        used_ += 4;
    }
    // A fixed number of bytes, copied in one piece.
    template <std::size_t N>
    void put_fixed(const std::array<unsigned char, N>& bytes) {
        if (kBufferSize - used_ < N) flush();
        std::memcpy(buffer_.get() + used_, bytes.data(), N);
        used_ += N;
    }
    void write(const unsigned char* data, std::size_t size);

    // Bytes handed to the stream so far.
    std::int64_t written() const { return flushed_ + static_cast<std::int64_t>(used_); }

    // Flushes and closes; false when any write failed.
    [[nodiscard]] bool close();

private:
    static constexpr std::size_t kBufferSize = 1 << 16;
    explicit ModuleStream(platform::OutputFile file);
    void flush();
    void write_out(const unsigned char* data, std::size_t size);

    platform::OutputFile file_;
    std::unique_ptr<unsigned char[]> buffer_;  // only the first used_ bytes are set
    std::size_t used_ = 0;
    std::int64_t flushed_ = 0;
    bool failed_ = false;
};

}  // namespace oxbuild
