// Block records: how pass 1 tells pass 2 where every block begins and ends.
// A record is keyed by where its block opens in the source (file number and
// source position), which is the same in both passes because both read the
// same bytes in the same order.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/chunked_vector.hpp"
#include "core/sink.hpp"
#include "platform/platform.hpp"

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

// Code addresses are kept in 32 bits: a module whose code does not fit is
// refused before anything is written.
// The kind shares a word with the position (sources stay far below 2^56
// bytes), so that a record takes 24 bytes.
struct BlockRecord {
    std::int64_t position : 56 = 0;
    std::uint64_t kind : 7 = BLOCK_FUNCTION;
    std::uint64_t indexed : 1 = 0;  // whether a search by key can find it
    std::int32_t file_number = 0;
    std::int32_t start = 0;  // where the block's statement begins
    std::int32_t end = 0;    // the jump target past the block
    std::int32_t chain = 0;  // right after the block's body
    BlockKey key() const { return {file_number, position}; }
};
static_assert(sizeof(BlockRecord) == 24);

// A record's place in the order of creation.
using BlockIndex = std::uint32_t;
inline constexpr BlockIndex kNoBlock = 0xFFFFFFFF;

// The three code addresses a record keeps.
enum class BlockAddress : std::uint8_t { start, end, chain };

inline std::int32_t address_in(const BlockRecord& record, BlockAddress which) {
    switch (which) {
        case BlockAddress::start: return record.start;
        case BlockAddress::end: return record.end;
        case BlockAddress::chain: return record.chain;
    }
    return 0;
}

// elseif and else stand only as the item right after the } that closed an
// if, elseif or else if body. Closing such a body grants the allowance; the
// top-level loop spends one item of it after every item it dispatches, that
// } included, so the next item finds it still granted and any other item in
// between (an empty ';' or a directive too) uses it up. It is not saved
// around include files.
class ElseAllowance {
public:
    void grant_after_if_body() { items_ = kItemsAfterIfBody; }
    bool allows_else() const { return items_ != 0; }
    void item_done() {
        if (items_ != 0) --items_;
    }

private:
    static constexpr int kItemsAfterIfBody = 2;  // the } itself and the item after it
    int items_ = 0;
};

// Records in order of creation; a search gives the first with the key.
// Within one file number, blocks are opened at growing positions, so each
// file keeps its records' indexes sorted by position and a search is a
// binary search there. That index is built only when a search needs it:
// most are answered by a small cache of recent keys, and a clean pass 1
// never needs it.
class BlockRecords {
public:
    // Adds a record and returns the first record with its key, as find
    // would: mostly the new one, known without a search. Inline: every
    // block comes here, nearly always at a new position past the last one
    // of its file; the rest go out of line.
    BlockIndex add(const BlockKey& key, BlockKind kind, CodeAddress start) {
        const auto file = static_cast<std::size_t>(key.file_number);
        if (file < last_indexed_.size()) [[likely]] {
            LastIndexed& last = last_indexed_[file];
            if (last.index == kNoBlock || last.position < key.position) {
                const auto index = static_cast<BlockIndex>(size());
                remember(key, index);
                last = {index, key.position};
                records_.push_back(new_record(key, kind, start));
                return index;
            }
        }
        return add_slowly(key, kind, start);
    }
    // The first record with the key, or kNoBlock.
    BlockIndex find(const BlockKey& key);
    // A record let go (see release_closed) reads as a function body's.
    BlockRecord& at(BlockIndex index) {
        if (index < base_) [[unlikely]] return released_ = {};
        return records_[index - base_];
    }
    const BlockRecord& at(BlockIndex index) const { return const_cast<BlockRecords*>(this)->at(index); }
    // Sets end and chain of every record with the key (a block closing),
    // given the first of them.
    // Inline: a key is nearly always one record's.
    void close_all(const BlockKey& key, BlockRecord& first, CodeAddress address) {
        if (shared_keys_) [[unlikely]] return close_all_sharing(key, address);
        first.end = first.chain = static_cast<std::int32_t>(address);
    }
    std::size_t size() const { return base_ + records_.size(); }
    // Sets the records aside in a scratch file once more than kept are
    // held, when no block is open: a spooling pass 1 needs none of them
    // again (its marks are filled in as each function closes). A search
    // finds only the records still held. Without a scratch file to take
    // them, they stay.
    void release_closed(std::size_t kept) {
        if (records_.size() > kept && !spill_failed_) release_before(static_cast<BlockIndex>(size()));
    }
    // Whether more than kept records are held before the given one, so
    // that release_before would let them go: pass 1 asks as a block of a
    // function body closes, since every record before that block is then
    // closed and final (an else changes only the block closed right before
    // it), and the function's own record is read only for its kind, which a
    // record let go gives. Its waiting marks must be filled in first.
    bool may_release_before(BlockIndex record, std::size_t kept) const {
        return record > base_ + kept && !spill_failed_;
    }
    // Sets the held records before the given one aside in the scratch file;
    // the rest stay held.
    void release_before(BlockIndex record);
    bool released() const { return base_ != 0; }
    // Brings the records set aside back before the held ones, for pass 2
    // reading the source: the records are then those of a pass 1 that
    // kept them all. False when the scratch file cannot be read back.
    [[nodiscard]] bool take_back_released();
    // Whether a block opened at the key of a record set aside, so that
    // pass 1 found another first record for it than one keeping them all.
    // Keys repeat only at the end of an include file, where no block
    // closes in between, so this never holds.
    bool shared_with_released() const { return shared_with_released_; }
    static constexpr std::size_t kKept = std::size_t{1} << 12;
    // Whether two records ever had one key (a search finds the first), and
    // whether a record came out of position order (no search finds it).
    // Without either, a record found once is the one found at its key ever after.
    bool shared_keys() const { return shared_keys_; }
    bool unfindable() const { return unindexed_; }

private:
    // The first of the file's record indexes at the key's position.
    const std::uint32_t* first_at(const BlockKey& key) const;
    // Brings the index up to date with the records added since.
    void index_new_records() const;
    // A recently used record with the key, if the cache holds one: blocks
    // are mostly looked up right after they open or close, so a small
    // cache spares most binary searches.
    std::int64_t cached(const BlockKey& key) const {
        const CacheEntry& e = cache_[cache_slot(key)];
        return e.position == key.position && e.file_number == key.file_number ? static_cast<std::int64_t>(e.index) : -1;
    }
    void remember(const BlockKey& key, std::uint32_t index) const {
        cache_[cache_slot(key)] = {key.position, key.file_number, index};
    }
    static std::size_t cache_slot(const BlockKey& key) {
        return static_cast<std::size_t>((static_cast<std::uint64_t>(key.position) * 31u +
                                         static_cast<std::uint64_t>(key.file_number)) % kCacheSize);
    }
    static BlockRecord new_record(const BlockKey& key, BlockKind kind, CodeAddress start) {
        return {key.position, kind, true, key.file_number, static_cast<std::int32_t>(start), 0, 0};
    }
    // add for a file met first, or a position not past its file's last.
    BlockIndex add_slowly(const BlockKey& key, BlockKind kind, CodeAddress start);

    // Appends the first count held records to the scratch file.
    bool spill_held(std::size_t count);
    // Keeps only the held records from the given one on.
    void keep_held_from(std::size_t first);
    // close_all once two records have had one key.
    void close_all_sharing(const BlockKey& key, CodeAddress address);

    static constexpr std::size_t kCacheSize = 256;
    struct CacheEntry {
        std::int64_t position = -1;
        std::int32_t file_number = -1;
        std::uint32_t index = 0;
    };
    mutable std::array<CacheEntry, kCacheSize> cache_{};
    bool shared_keys_ = false;  // whether two records ever had one key
    bool unindexed_ = false;    // whether a record came out of position order
    mutable std::uint32_t next_in_order_ = 0;

    // The last record of a file that a search can find, and its position.
    struct LastIndexed {
        BlockIndex index = kNoBlock;
        std::int64_t position = 0;
    };
    ChunkedVector<BlockRecord> records_;  // from base_ on; no reallocation peaks as it grows
    std::size_t base_ = 0;                // the records set aside
    platform::ScratchFile spill_;         // the records set aside, in order
    bool spill_failed_ = false;           // no scratch file took them: the rest stay
    bool shared_with_released_ = false;   // a key met again after its record was set aside
    BlockRecord released_{};
    std::vector<LastIndexed> last_indexed_;  // by file number
    mutable std::vector<std::vector<std::uint32_t>> by_file_;  // file number -> record indexes
    mutable std::size_t indexed_up_to_ = 0;  // records taken into by_file_
};

}  // namespace oxbuild
