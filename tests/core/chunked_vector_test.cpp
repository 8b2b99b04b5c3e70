#include "core/chunked_vector.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace oxbuild {
namespace {

// Across several chunk boundaries: every element keeps its index and its
// address, and iteration visits them in order.
TEST(ChunkedVector, ElementsKeepTheirIndexAndAddressAcrossChunks) {
    ChunkedVector<int, 2> items;  // chunks of four
    EXPECT_TRUE(items.empty());
    std::vector<const int*> addresses;
    for (int i = 0; i < 11; ++i) {
        items.push_back(i * 10);
        addresses.push_back(&items.back());
    }
    ASSERT_EQ(items.size(), 11u);
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i], static_cast<int>(i) * 10);
        EXPECT_EQ(&items[i], addresses[i]);
    }
    std::vector<int> visited(items.begin(), items.end());
    ASSERT_EQ(visited.size(), 11u);
    EXPECT_EQ(visited.front(), 0);
    EXPECT_EQ(visited.back(), 100);
}

}  // namespace
}  // namespace oxbuild
