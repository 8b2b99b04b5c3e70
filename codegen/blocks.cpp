#include "codegen/blocks.hpp"

namespace oxbuild {

void BlockRecords::add(const BlockKey& key, BlockKind kind, CodeAddress start) {
    const auto index = static_cast<std::int32_t>(records_.size());
    records_.push_back({key, kind, start, 0, 0});
    next_same_key_.push_back(kNone);
    last_same_key_.push_back(index);
    const auto [first_index, inserted] = first_.try_emplace(key, index);
    if (!inserted) {
        const std::int32_t first = *first_index;
        next_same_key_[static_cast<std::size_t>(last_same_key_[static_cast<std::size_t>(first)])] = index;
        last_same_key_[static_cast<std::size_t>(first)] = index;
    }
}

BlockRecord* BlockRecords::find(const BlockKey& key) {
    const std::int32_t* first = first_.find(key);
    return first == nullptr ? nullptr : &records_[static_cast<std::size_t>(*first)];
}

void BlockRecords::close_all(const BlockKey& key, CodeAddress address) {
    const std::int32_t* first = first_.find(key);
    if (first == nullptr) return;
    for (std::int32_t i = *first; i != kNone; i = next_same_key_[static_cast<std::size_t>(i)]) {
        records_[static_cast<std::size_t>(i)].end = address;
        records_[static_cast<std::size_t>(i)].chain = address;
    }
}

}  // namespace oxbuild
