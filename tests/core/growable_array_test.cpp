#include "core/growable_array.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

namespace oxbuild {
namespace {

struct Item {
    std::uint32_t a = 7;
    std::uint64_t b = 0;
};

// Items keep their values through every reallocation, from an empty array
// and from one given room, up to a block the C library maps (past 8 MB).
TEST(GrowableArray, ItemsKeepTheirValuesThroughEveryGrowth) {
    for (const std::size_t first_room : {std::size_t{0}, std::size_t{3}}) {
        SCOPED_TRACE("first room " + std::to_string(first_room));
        GrowableArray<Item> items = first_room == 0 ? GrowableArray<Item>() : GrowableArray<Item>(first_room);
        constexpr std::size_t kCount = 600'000;
        for (std::size_t i = 0; i < kCount; ++i) items.push_back({static_cast<std::uint32_t>(i), i * 3});
        ASSERT_EQ(items.size(), kCount);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < kCount; ++i)
            if (items[i].a != static_cast<std::uint32_t>(i) || items[i].b != i * 3) ++wrong;
        EXPECT_EQ(wrong, 0u);
    }
}

}  // namespace
}  // namespace oxbuild
