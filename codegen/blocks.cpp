#include "codegen/blocks.hpp"

namespace oxbuild {

void BlockRecords::add(const BlockKey& key, BlockKind kind, CodeAddress start) {
    const auto index = static_cast<std::int32_t>(records_.size());
    records_.push_back({key, kind, start, 0, 0});
    next_same_key_.push_back(kNone);
    last_same_key_.push_back(index);
    const auto [it, inserted] = first_.try_emplace(key, index);
    if (!inserted) {
        const std::int32_t first = it->second;
        next_same_key_[static_cast<std::size_t>(last_same_key_[static_cast<std::size_t>(first)])] = index;
        last_same_key_[static_cast<std::size_t>(first)] = index;
    }
}

BlockRecord* BlockRecords::find(const BlockKey& key) {
    const auto it = first_.find(key);
    return it == first_.end() ? nullptr : &records_[static_cast<std::size_t>(it->second)];
}

void BlockRecords::close_all(const BlockKey& key, CodeAddress address) {
    const auto it = first_.find(key);
    if (it == first_.end()) return;
    for (std::int32_t i = it->second; i != kNone; i = next_same_key_[static_cast<std::size_t>(i)]) {
        records_[static_cast<std::size_t>(i)].end = address;
        records_[static_cast<std::size_t>(i)].chain = address;
    }
}

}  // namespace oxbuild
