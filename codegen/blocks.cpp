#include "codegen/blocks.hpp"

#include <algorithm>

namespace oxbuild {

BlockIndex BlockRecords::add_slowly(const BlockKey& key, BlockKind kind, CodeAddress start) {
    const auto file = static_cast<std::size_t>(key.file_number);
    if (file >= last_indexed_.size()) last_indexed_.resize(file + 1);
    LastIndexed& last = last_indexed_[file];
    const auto index = static_cast<BlockIndex>(size());
    BlockRecord record = new_record(key, kind, start);
    // Positions only grow within a file; a record out of order could not
    // be found by the binary search, so it is not indexed.
    bool remembered = false;
    if (last.index != kNoBlock && last.position > key.position) {
        record.indexed = false;
        unindexed_ = true;
    } else {
        remembered = last.index == kNoBlock || last.position != key.position;
        if (remembered) {
            remember(key, index);
        } else {
            shared_keys_ = true;
            if (last.index < base_) shared_with_released_ = true;
        }
        last = {index, key.position};
    }
    records_.push_back(record);
    // A record just remembered is what the cache gives for its key.
    return remembered ? index : find(key);
}

void BlockRecords::index_new_records() const {
    if (indexed_up_to_ == size()) return;
    if (by_file_.size() < last_indexed_.size()) by_file_.resize(last_indexed_.size());
    // The first build takes most records at once: each file's list gets
    // its size before it is filled, with no doubling on the way.
    if (indexed_up_to_ == base_) {
        std::vector<std::size_t> counts(by_file_.size(), 0);
        for (std::size_t i = 0; i < records_.size(); ++i)
            if (records_[i].indexed) ++counts[static_cast<std::size_t>(records_[i].file_number)];
        for (std::size_t file = 0; file < counts.size(); ++file) by_file_[file].reserve(counts[file]);
    }
    for (; indexed_up_to_ < size(); ++indexed_up_to_) {
        const BlockRecord& record = records_[indexed_up_to_ - base_];
        if (record.indexed)
            by_file_[static_cast<std::size_t>(record.file_number)].push_back(static_cast<std::uint32_t>(indexed_up_to_));
    }
}

const std::uint32_t* BlockRecords::first_at(const BlockKey& key) const {
    if (key.file_number < 0 || static_cast<std::size_t>(key.file_number) >= last_indexed_.size()) return nullptr;
    index_new_records();
    const auto& indexes = by_file_[static_cast<std::size_t>(key.file_number)];
    const auto it = std::lower_bound(indexes.begin(), indexes.end(), key.position,
                                     [this](std::uint32_t index, std::int64_t position) {
                                         return records_[index - base_].position < position;
                                     });
    if (it == indexes.end() || records_[*it - base_].position != key.position) return nullptr;
    return &*it;
}

BlockIndex BlockRecords::find(const BlockKey& key) {
    if (const std::int64_t index = cached(key); index >= static_cast<std::int64_t>(base_))
        return static_cast<BlockIndex>(index);
    // Pass 2 opens blocks in the order pass 1 made their records.
    if (next_in_order_ < base_) next_in_order_ = static_cast<std::uint32_t>(base_);
    if (next_in_order_ < size() && records_[next_in_order_ - base_].key() == key && !shared_keys_) {
        remember(key, next_in_order_);
        return next_in_order_++;
    }
    const std::uint32_t* first = first_at(key);
    if (first == nullptr) return kNoBlock;
    remember(key, *first);
    next_in_order_ = *first + 1;
    return *first;
}

void BlockRecords::close_all_sharing(const BlockKey& key, CodeAddress address) {
    const std::uint32_t* index = first_at(key);
    if (index == nullptr) return;
    const auto& indexes = by_file_[static_cast<std::size_t>(key.file_number)];
    for (; index != indexes.data() + indexes.size() && records_[*index - base_].key() == key; ++index) {
        records_[*index - base_].end = static_cast<std::int32_t>(address);
        records_[*index - base_].chain = static_cast<std::int32_t>(address);
    }
}

// The first count held records appended to the scratch file, chunk by
// chunk as they lie in memory; false when it cannot be made or written.
bool BlockRecords::spill_held(std::size_t count) {
    if (!spill_.is_open()) spill_ = platform::ScratchFile::create();
    if (!spill_.is_open()) return false;
    constexpr std::size_t kChunk = ChunkedVector<BlockRecord>::kChunk;
    for (std::size_t i = 0; i < count; i += kChunk) {
        const std::size_t n = std::min(kChunk, count - i);
        if (!spill_.write_all(reinterpret_cast<const unsigned char*>(&records_[i]), n * sizeof(BlockRecord)))
            return false;
    }
    return true;
}

void BlockRecords::keep_held_from(std::size_t first) {
    if (first == records_.size()) {
        records_.clear();
        return;
    }
    ChunkedVector<BlockRecord> rest;
    for (std::size_t i = first; i < records_.size(); ++i) rest.push_back(records_[i]);
    records_ = std::move(rest);
}

void BlockRecords::release_before(BlockIndex record) {
    const std::size_t count = record - base_;
    // A failed write leaves the file holding a partial tail past base_
    // records, which are never read; the records stay held from then on.
    if (!spill_held(count)) {
        spill_failed_ = true;
        return;
    }
    keep_held_from(count);
    base_ += count;
    for (std::vector<std::uint32_t>& indexes : by_file_) indexes.clear();
    indexed_up_to_ = base_;
    cache_.fill({});
}

bool BlockRecords::take_back_released() {
    if (base_ == 0) return true;
    if (!spill_.rewind()) return false;
    ChunkedVector<BlockRecord> all;
    std::vector<BlockRecord> piece(ChunkedVector<BlockRecord>::kChunk);
    for (std::size_t left = base_; left > 0;) {
        const std::size_t count = std::min(left, piece.size());
        auto* bytes = reinterpret_cast<unsigned char*>(piece.data());
        for (std::size_t got = 0; got < count * sizeof(BlockRecord);) {
            const std::int64_t n = spill_.read_some(bytes + got, count * sizeof(BlockRecord) - got);
            if (n <= 0) return false;
            got += static_cast<std::size_t>(n);
        }
        for (std::size_t i = 0; i < count; ++i) all.push_back(piece[i]);
        left -= count;
    }
    for (std::size_t i = 0; i < records_.size(); ++i) all.push_back(records_[i]);
    records_ = std::move(all);
    base_ = 0;
    spill_ = platform::ScratchFile();
    for (std::vector<std::uint32_t>& indexes : by_file_) indexes.clear();
    indexed_up_to_ = 0;
    next_in_order_ = 0;
    cache_.fill({});
    return true;
}

}  // namespace oxbuild
