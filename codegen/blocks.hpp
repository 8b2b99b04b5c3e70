// Block records: how pass 1 tells pass 2 where every block begins and ends.
// A record is keyed by where its block opens in the source (file number and
// source position), which is the same in both passes because both read the
// same bytes in the same order.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "driver/flat_map.hpp"
#include "driver/sink.hpp"

namespace oxbuild {

enum BlockKind : std::uint8_t {
    BLOCK_FUNCTION = 0,  // the body of a function definition
    BLOCK_WHILE = 1,     // while (...) {
    BLOCK_IF = 2,        // if, elseif or else if (...) {
    BLOCK_ELSE = 3,      // else {
    BLOCK_PLAIN = 4,     // a { that begins an item
};

struct BlockKey {
    std::int32_t file_number = 0;
    std::int64_t position = 0;
    bool operator==(const BlockKey&) const = default;
};

struct BlockRecord {
    BlockKey key;
    BlockKind kind;
    CodeAddress start = 0;  // where the block's statement begins
    CodeAddress end = 0;    // the jump target past the block
    CodeAddress chain = 0;  // right after the block's body
};

// Records in order of creation; a search gives the first with the key.
class BlockRecords {
public:
    void add(const BlockKey& key, BlockKind kind, CodeAddress start);
    BlockRecord* find(const BlockKey& key);
    // Sets end and chain of every record with the key (a block closing).
    void close_all(const BlockKey& key, CodeAddress address);
    std::size_t size() const { return records_.size(); }

private:
    struct KeyHash {
        std::size_t operator()(const BlockKey& key) const {
            const std::uint64_t h = (static_cast<std::uint64_t>(key.position) * 1000003u + static_cast<std::uint64_t>(key.file_number)) * 0x9E3779B97F4A7C15ull;
            return static_cast<std::size_t>(h ^ (h >> 31));
        }
    };
    static constexpr std::int32_t kNone = -1;
    std::vector<BlockRecord> records_;
    std::vector<std::int32_t> next_same_key_;
    std::vector<std::int32_t> last_same_key_;  // per first record: the chain's tail
    FlatMap<BlockKey, std::int32_t, KeyHash> first_;
};

}  // namespace oxbuild
