// A sequence that grows in fixed chunks of a power-of-two size: elements
// never move once added (no copy and no doubled peak as it grows), and an
// index is found with a shift and a mask. A chunk is raw storage until its
// elements are added, so a new chunk costs no constructor calls; elements
// must be trivially destructible, as records are.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <type_traits>
#include <vector>

#include "platform/platform.hpp"

namespace oxbuild {

template <typename T, unsigned ChunkBits = 12>
class ChunkedVector {
    static_assert(std::is_trivially_destructible_v<T>);

public:
    static constexpr std::size_t kChunk = std::size_t{1} << ChunkBits;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return chunks_[i >> ChunkBits].get()[i & (kChunk - 1)]; }
    const T& operator[](std::size_t i) const { return chunks_[i >> ChunkBits].get()[i & (kChunk - 1)]; }
    T& back() { return (*this)[size_ - 1]; }
    const T& back() const { return (*this)[size_ - 1]; }

    void push_back(const T& item) {
        if ((size_ & (kChunk - 1)) == 0) add_chunk();
        std::construct_at(chunks_[size_ >> ChunkBits].get() + (size_ & (kChunk - 1)), item);
        ++size_;
    }

    // Empties the sequence and keeps its first chunk for what comes next.
    void clear() {
        if (chunks_.size() > 1) chunks_.resize(1);
        size_ = 0;
    }

    class ConstIterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        ConstIterator() = default;
        ConstIterator(const ChunkedVector& items, std::size_t i) : items_(&items), i_(i) {}
        const T& operator*() const { return (*items_)[i_]; }
        const T* operator->() const { return &(*items_)[i_]; }
        ConstIterator& operator++() {
            ++i_;
            return *this;
        }
        ConstIterator operator++(int) {
            ConstIterator before = *this;
            ++i_;
            return before;
        }
        bool operator==(const ConstIterator& other) const { return i_ == other.i_; }

    private:
        const ChunkedVector* items_ = nullptr;
        std::size_t i_ = 0;
    };
    ConstIterator begin() const { return {*this, 0}; }
    ConstIterator end() const { return {*this, size_}; }

private:
    // A sequence that filled its first chunk goes on to fill most of the
    // next, so the system backs each later chunk's pages in one request.
    [[gnu::noinline]] void add_chunk() {
        std::unique_ptr<T, FreeChunk> chunk(std::allocator<T>().allocate(kChunk));
        if (!chunks_.empty()) platform::back_pages_now(chunk.get(), kChunk * sizeof(T));
        chunks_.push_back(std::move(chunk));
    }
    struct FreeChunk {
        void operator()(T* chunk) const { std::allocator<T>().deallocate(chunk, kChunk); }
    };
    std::vector<std::unique_ptr<T, FreeChunk>> chunks_;
    std::size_t size_ = 0;
};

}  // namespace oxbuild
