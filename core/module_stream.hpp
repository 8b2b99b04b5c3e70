// The module file, written through a buffer. The first write failure sticks
// and is checked once at the end, so a short module is never reported as
// created. A spool is the same stream kept for reading back: in memory up
// to one buffer, then in a temporary file.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/platform.hpp"

namespace oxbuild {

// The module's byte order: a field of Size bytes is stored little-endian.
template <std::size_t Size>
constexpr void store_field(unsigned char* at, std::uint32_t value) {
    for (std::size_t i = 0; i < Size; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Fields put together in the module's byte order, so that a form of several
// fields is written in one piece. N is the form's size.
template <std::size_t N>
class FieldBytes {
public:
    constexpr FieldBytes& word(std::uint32_t value) { return put<2>(value); }
    constexpr FieldBytes& dword(std::uint32_t value) { return put<4>(value); }
    const std::array<unsigned char, N>& bytes() const { return bytes_; }

private:
    template <std::size_t Size>
    constexpr FieldBytes& put(std::uint32_t value) {
        store_field<Size>(bytes_.data() + used_, value);
        used_ += Size;
        return *this;
    }
    std::array<unsigned char, N> bytes_{};
    std::size_t used_ = 0;
};

class ModuleStream {
public:
    // Creates or truncates the file; nullptr when it cannot be opened.
    static std::unique_ptr<ModuleStream> create(const std::string& path);
    static std::unique_ptr<ModuleStream> spool();
    ModuleStream(const ModuleStream&) = delete;
    ModuleStream& operator=(const ModuleStream&) = delete;

    void put(unsigned char byte) {
        if (used_ == kBufferSize) flush();
        buffer_[used_++] = byte;
    }
    // A word and a dword, in the module's byte order.
    void put_word(std::uint32_t value) { put_field<2>(value); }
    void put_dword(std::uint32_t value) { put_field<4>(value); }
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

    bool failed() const { return failed_; }
    // A spool's bytes, in order, handed to take(data, size) in pieces that
    // take may change; false when they could not all be read back.
    [[nodiscard]] bool read_back(const std::function<void(unsigned char*, std::size_t)>& take);

private:
    static constexpr std::size_t kBufferSize = 1 << 16;
    template <std::size_t Size>
    void put_field(std::uint32_t value) {
        if (kBufferSize - used_ < Size) flush();
        store_field<Size>(buffer_.get() + used_, value);
        used_ += Size;
    }
    explicit ModuleStream(platform::OutputFile file);
    ModuleStream();
    void flush();
    void write_out(const unsigned char* data, std::size_t size);

    platform::OutputFile file_;
    const bool spool_ = false;
    platform::ScratchFile spool_file_;  // made on the first flush
    std::unique_ptr<unsigned char[]> buffer_;  // only the first used_ bytes are set
    std::size_t used_ = 0;
    std::int64_t flushed_ = 0;
    bool failed_ = false;
};

}  // namespace oxbuild
