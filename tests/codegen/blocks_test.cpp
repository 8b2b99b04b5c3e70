// Block records set aside while later ones stay held: a long function lets
// the records before its latest body block go, and they come back in order.
#include <gtest/gtest.h>

#include "codegen/blocks.hpp"

using namespace oxbuild;

namespace {

constexpr int kRecords = 10;
constexpr std::int64_t kStep = 10;  // positions 0, 10, 20 ...

BlockKey key_of(int i) { return {0, kStep * i}; }

// Records 0..9, record i starting at 100 + i and closed at 200 + i.
void add_closed_records(BlockRecords& blocks) {
    for (int i = 0; i < kRecords; ++i) {
        const BlockIndex index = blocks.add(key_of(i), i == 0 ? BLOCK_FUNCTION : BLOCK_WHILE, 100 + i);
        ASSERT_EQ(index, static_cast<BlockIndex>(i));
        blocks.close_all(key_of(i), blocks.at(index), 200 + i);
    }
}

void expect_record(const BlockRecords& blocks, int i) {
    SCOPED_TRACE("record " + std::to_string(i));
    const BlockRecord& r = blocks.at(static_cast<BlockIndex>(i));
    EXPECT_EQ(r.key(), key_of(i));
    EXPECT_EQ(r.kind, i == 0 ? BLOCK_FUNCTION : BLOCK_WHILE);
    EXPECT_EQ(r.start, 100 + i);
    EXPECT_EQ(r.end, 200 + i);
}

}  // namespace

TEST(BlockRecords, TheRecordsBeforeABlockGoAndComeBackInOrder) {
    BlockRecords blocks;
    add_closed_records(blocks);
    constexpr BlockIndex kKeptFrom = 6;
    EXPECT_FALSE(blocks.may_release_before(kKeptFrom, kKeptFrom));  // six held before it: not more than six
    ASSERT_TRUE(blocks.may_release_before(kKeptFrom, kKeptFrom - 1));
    blocks.release_before(kKeptFrom);

    EXPECT_TRUE(blocks.released());
    EXPECT_EQ(blocks.size(), static_cast<std::size_t>(kRecords));
    // A record let go reads as a function body's; the held ones are intact
    // and still found by their keys, the ones let go no longer.
    EXPECT_EQ(blocks.at(3).kind, BLOCK_FUNCTION);
    EXPECT_EQ(blocks.at(3).start, 0);
    for (int i = static_cast<int>(kKeptFrom); i < kRecords; ++i) {
        expect_record(blocks, i);
        EXPECT_EQ(blocks.find(key_of(i)), static_cast<BlockIndex>(i));
    }
    EXPECT_EQ(blocks.find(key_of(3)), kNoBlock);
    EXPECT_FALSE(blocks.may_release_before(kKeptFrom - 1, 0));  // already let go

    // Records added later, then the rest let go as the function closes.
    EXPECT_EQ(blocks.add(key_of(kRecords), BLOCK_IF, 100 + kRecords), static_cast<BlockIndex>(kRecords));
    blocks.close_all(key_of(kRecords), blocks.at(kRecords), 200 + kRecords);
    blocks.release_closed(0);

    ASSERT_TRUE(blocks.take_back_released());
    EXPECT_FALSE(blocks.released());
    for (int i = 0; i < kRecords; ++i) {
        expect_record(blocks, i);
        EXPECT_EQ(blocks.find(key_of(i)), static_cast<BlockIndex>(i));
    }
    EXPECT_EQ(blocks.at(kRecords).kind, BLOCK_IF);
    EXPECT_EQ(blocks.at(kRecords).end, 200 + kRecords);
}
