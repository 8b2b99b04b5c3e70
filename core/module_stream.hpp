// The module file, written through a buffer that grows to a large size, so
// that a large module goes out in few large writes. The first write failure
// sticks and is checked once at the end, so a short module is never reported
// as created. A spool is the same stream kept for reading back: its full
// buffers are kept in memory up to a fixed bound, the rest goes to a
// temporary file.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/platform.hpp"

namespace oxbuild {

// The module's byte order: a field of Size bytes is stored little-endian.
// On a little-endian machine the value's first bytes are the field, copied
// in one move: the compiler does not always merge the bytes' stores.
template <std::size_t Size>
constexpr void store_field(unsigned char* at, std::uint32_t value) {
    static_assert(Size <= sizeof value);
    if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
        std::memcpy(at, &value, Size);
        return;
    }
    for (std::size_t i = 0; i < Size; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// A four-byte field in the module's byte order, read back.
inline std::uint32_t load_dword(const unsigned char* at) {
    std::uint32_t value = 0;
    if constexpr (std::endian::native == std::endian::little) std::memcpy(&value, at, sizeof value);
    else
        for (std::size_t i = 0; i < sizeof value; ++i) value |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return value;
}

// Stores fields one after another in the module's byte order, from a place
// in a buffer: a form put together in place in a stream's room.
class FieldCursor {
public:
    constexpr explicit FieldCursor(unsigned char* at) : at_(at) {}
    constexpr FieldCursor& word(std::uint32_t value) { return field<2>(value); }
    constexpr FieldCursor& dword(std::uint32_t value) { return field<4>(value); }
    template <std::size_t Size>
    constexpr FieldCursor& field(std::uint32_t value) {
        store_field<Size>(at_, value);
        at_ += Size;
        return *this;
    }

private:
    unsigned char* at_;
};

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
        FieldCursor(bytes_.data() + used_).field<Size>(value);
        used_ += Size;
        return *this;
    }
    std::array<unsigned char, N> bytes_{};
    std::size_t used_ = 0;
};

// Frees a stream's buffer, allocated with its alignment.
struct FreeStreamBuffer {
    std::align_val_t alignment{alignof(std::max_align_t)};
    void operator()(unsigned char* p) const { ::operator delete(p, alignment); }
};

// The sizes of a spool's buffer: before its first flush, then while its
// bytes stay in memory, then once they go to its file.
struct SpoolBuffers {
    std::size_t first;
    std::size_t in_memory;
    std::size_t to_file;
};

class ModuleStream {
public:
    // Creates the file, or writes over it as if it were emptied (see
    // OutputFile); nullptr when it cannot be opened.
    static std::unique_ptr<ModuleStream> create(const std::string& path);
    // The buffer starts small, so that a small module costs little, and
    // takes its largest size at the first flush: a size between would be
    // filled in small pages, a fault each, where the largest asks for one
    // large page (about a quarter of a 1 MB compilation's time went to those
    // faults).
    static constexpr std::size_t kFirstBuffer = std::size_t{1} << 16;
    static constexpr std::size_t kLargestBuffer = platform::kLargePage;
    static constexpr SpoolBuffers kCodeBuffers{kFirstBuffer, kLargestBuffer, kLargestBuffer};
    // Keeps up to memory_bound bytes in memory before it makes a file.
    static constexpr std::size_t kSpoolMemory = std::size_t{6} << 20;
    static std::unique_ptr<ModuleStream> spool(std::size_t memory_bound = kSpoolMemory,
                                               const SpoolBuffers& buffers = kCodeBuffers);
    ModuleStream(const ModuleStream&) = delete;
    ModuleStream& operator=(const ModuleStream&) = delete;

    void put(unsigned char byte) {
        if (used_ == capacity_) flush();
        buffer_.get()[used_++] = byte;
    }
    // A word and a dword, in the module's byte order.
    void put_word(std::uint32_t value) { put_field<2>(value); }
    void put_dword(std::uint32_t value) { put_field<4>(value); }
    // A fixed number of bytes, copied in one piece.
    template <std::size_t N>
    void put_fixed(const std::array<unsigned char, N>& bytes) {
        if (capacity_ - used_ < N) flush();
        std::memcpy(buffer_.get() + used_, bytes.data(), N);
        used_ += N;
    }
    void write(const unsigned char* data, std::size_t size);
    // Room for up to n bytes (n at most 64 KiB), filled in place; taken(k)
    // then adds the first k of them.
    unsigned char* room(std::size_t n) {
        if (capacity_ - used_ < n) flush();
        return buffer_.get() + used_;
    }
    void taken(std::size_t k) { used_ += k; }

    // Bytes handed to the stream so far.
    std::int64_t written() const { return flushed_ + static_cast<std::int64_t>(used_); }

    // Flushes and closes; false when any write failed.
    [[nodiscard]] bool close();

    bool failed() const { return failed_; }
    // A spool's bytes, in order, handed to take(data, size) in pieces that
    // take may change, once: the pieces kept in memory are freed as they are
    // handed over. False when they could not all be read back.
    [[nodiscard]] bool read_back(const std::function<void(unsigned char*, std::size_t)>& take);

    // A spool's bytes read back on demand, piece by piece, in order; each
    // piece kept in memory is freed once the next is asked for.
    class Pieces {
    public:
        explicit Pieces(ModuleStream& spool) : spool_(&spool) {}
        // The next piece, empty at the end or when the bytes cannot be
        // read (failed() then).
        std::span<unsigned char> next();
        bool failed() const { return failed_; }

    private:
        std::span<unsigned char> next_from_file();
        void let_go(std::size_t kept);  // the kept piece given before
        ModuleStream* spool_;
        std::size_t kept_ = 0;            // the next kept piece
        std::int64_t file_left_ = -1;     // bytes of the file still to read; -1 before it is rewound
        // The piece read from the file, in a buffer as a stream's is.
        std::unique_ptr<unsigned char, FreeStreamBuffer> read_;
        std::size_t read_capacity_ = 0;
        bool last_given_ = false;         // whether the bytes still in the buffer have been given
        bool failed_ = false;
    };

private:
    // A spool's bytes come back from its file in pieces of this size, in
    // one buffer, unless the last piece kept in memory lends its own.
    static constexpr std::size_t kReadPiece = std::size_t{1} << 18;
    // A buffer of the largest size is aligned to the large page and asks
    // for it, so that filling it costs one page fault.
    using Buffer = std::unique_ptr<unsigned char, FreeStreamBuffer>;
    static Buffer allocate(std::size_t capacity);
    template <std::size_t Size>
    void put_field(std::uint32_t value) {
        if (capacity_ - used_ < Size) flush();
        store_field<Size>(buffer_.get() + used_, value);
        used_ += Size;
    }
    // A piece of a spool kept in memory: a full buffer.
    struct Piece {
        Buffer bytes;
        std::size_t size;
        std::size_t capacity;
    };
    explicit ModuleStream(platform::OutputFile file);
    ModuleStream(std::size_t memory_bound, const SpoolBuffers& buffers);
    void flush();
    bool keep_in_memory();
    void new_buffer(std::size_t capacity);
    void write_out(const unsigned char* data, std::size_t size);

    platform::OutputFile file_;
    const bool spool_ = false;
    const std::size_t memory_bound_ = 0;  // a spool's bytes kept in memory at most
    const SpoolBuffers buffers_ = kCodeBuffers;
    std::vector<Piece> kept_;             // a spool's first bytes, in order
    std::size_t kept_bytes_ = 0;
    platform::ScratchFile spool_file_;    // made on the first flush past the bound
    std::int64_t file_bytes_ = 0;         // bytes in the scratch file, after the kept ones
    Buffer buffer_;  // only the first used_ bytes are set
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    std::int64_t flushed_ = 0;
    bool failed_ = false;
};

}  // namespace oxbuild
