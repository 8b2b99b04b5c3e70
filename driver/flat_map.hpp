// An open-addressing hash map for small keys: one probe sequence in one
// array, no allocation per entry. Used for the tables that grow with the
// number of slots and blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace oxbuild {

template <typename Key, typename Value, typename Hash>
class FlatMap {
public:
    Value* find(const Key& key) {
        if (count_ == 0) return nullptr;
        Slot& slot = probe(key, Hash{}(key));
        return slot.used ? &slot.value : nullptr;
    }
    const Value* find(const Key& key) const { return const_cast<FlatMap*>(this)->find(key); }

    // The value of the key, inserted as given when the key is new.
    std::pair<Value*, bool> try_emplace(const Key& key, const Value& value) {
        if ((count_ + 1) * 4 > slots_.size() * 3) grow();
        const std::size_t hash = Hash{}(key);
        Slot& slot = probe(key, hash);
        if (slot.used) return {&slot.value, false};
        slot = Slot{key, value, true};
        ++count_;
        return {&slot.value, true};
    }

    std::size_t size() const { return count_; }

    // Empties the map and keeps its room.
    void clear() {
        if (count_ == 0) return;
        for (Slot& slot : slots_) slot.used = false;
        count_ = 0;
    }

private:
    static constexpr std::size_t kInitialCapacity = 64;

    struct Slot {
        Key key{};
        Value value{};
        bool used = false;
    };

    Slot& probe(const Key& key, std::size_t hash) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (!slot.used || slot.key == key) return slot;
        }
    }

    void grow() {
        std::vector<Slot> old(slots_.empty() ? kInitialCapacity : slots_.size() * 2);
        old.swap(slots_);
        count_ = 0;
        for (Slot& s : old)
            if (s.used) try_emplace(s.key, s.value);
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

}  // namespace oxbuild
