#include "codegen/blocks.hpp"

#include <algorithm>

namespace oxbuild {

void BlockRecords::add(const BlockKey& key, BlockKind kind, CodeAddress start) {
    const auto file = static_cast<std::size_t>(key.file_number);
    if (file >= by_file_.size()) by_file_.resize(file + 1);
    auto& indexes = by_file_[file];
    // Positions only grow within a file; a record out of order could not
    // be found by the binary search, so it is not indexed.
    const BlockRecord record{key.position, kind, key.file_number, static_cast<std::int32_t>(start), 0, 0};
    if (!indexes.empty() && records_[indexes.back()].position > key.position) {
        records_.push_back(record);
        return;
    }
    indexes.push_back(static_cast<std::uint32_t>(records_.size()));
    records_.push_back(record);
}

const std::uint32_t* BlockRecords::first_at(const BlockKey& key) const {
    if (key.file_number < 0 || static_cast<std::size_t>(key.file_number) >= by_file_.size()) return nullptr;
    const auto& indexes = by_file_[static_cast<std::size_t>(key.file_number)];
    const auto it = std::lower_bound(indexes.begin(), indexes.end(), key.position,
                                     [this](std::uint32_t index, std::int64_t position) {
                                         return records_[index].position < position;
                                     });
    if (it == indexes.end() || records_[*it].position != key.position) return nullptr;
    return &*it;
}

BlockRecord* BlockRecords::find(const BlockKey& key) {
    const std::uint32_t* first = first_at(key);
    return first == nullptr ? nullptr : &records_[*first];
}

void BlockRecords::close_all(const BlockKey& key, CodeAddress address) {
    const std::uint32_t* index = first_at(key);
    if (index == nullptr) return;
    const auto& indexes = by_file_[static_cast<std::size_t>(key.file_number)];
    for (; index != indexes.data() + indexes.size() && records_[*index].key() == key; ++index) {
        records_[*index].end = static_cast<std::int32_t>(address);
        records_[*index].chain = static_cast<std::int32_t>(address);
    }
}

}  // namespace oxbuild
