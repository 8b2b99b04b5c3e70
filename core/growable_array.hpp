// An array of trivially copyable items that grows by reallocation. Where
// the allocator moves a large block by remapping its pages (as the C
// library does for blocks it maps), the old and the new block are never
// held at once, and the room past the last item costs no memory until it
// is used; a vector's growth holds both blocks and fills the new one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>

#include "platform/platform.hpp"

namespace oxbuild {

// Frees a block of items taken from the C library (realloc, calloc).
template <typename T>
struct FreeCBlock {
    void operator()(T* items) const { std::free(items); }
};

template <typename T>
class GrowableArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    GrowableArray() = default;
    explicit GrowableArray(std::size_t capacity) { reallocate(capacity); }

    std::size_t size() const { return size_; }
    T& operator[](std::size_t i) { return items_.get()[i]; }
    const T& operator[](std::size_t i) const { return items_.get()[i]; }

    void push_back(const T& item) {
        if (size_ == backed_) [[unlikely]] make_room();
        std::construct_at(items_.get() + size_, item);
        ++size_;
    }

private:
    static constexpr std::size_t kFirstCapacity = 64;
    // The items' pages are backed ahead of them this many bytes at a time,
    // in one request each, instead of a page fault each as they are first
    // written; the room past them costs nothing until it is reached.
    static constexpr std::size_t kBackedStep = std::size_t{1} << 16;
    static constexpr std::size_t kBackedItems = std::max<std::size_t>(kBackedStep / sizeof(T), 1);
    // At the end of the pages backed so far: grows the block when it is
    // full, then backs the next step.
    [[gnu::noinline]] void make_room() {
        if (size_ == capacity_) reallocate(capacity_ == 0 ? kFirstCapacity : capacity_ * 2);
        const std::size_t step = std::min(capacity_ - size_, kBackedItems);
        platform::back_pages_now(items_.get() + size_, step * sizeof(T));
        backed_ = size_ + step;
    }
    [[gnu::noinline]] void reallocate(std::size_t capacity) {
        void* moved = std::realloc(items_.get(), capacity * sizeof(T));
        if (moved == nullptr) throw std::bad_alloc();
        (void)items_.release();
        items_.reset(static_cast<T*>(moved));
        capacity_ = capacity;
    }
    std::unique_ptr<T, FreeCBlock<T>> items_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t backed_ = 0;  // items whose pages are backed: from size_ up to here, unwritten
};

}  // namespace oxbuild
