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
        return used(slot) ? &slot.value : nullptr;
    }
    const Value* find(const Key& key) const { return const_cast<FlatMap*>(this)->find(key); }

    // The value of the key, inserted as given when the key is new.
    std::pair<Value*, bool> try_emplace(const Key& key, const Value& value) {
        if (count_ >= grow_at_) grow();
        const std::size_t hash = Hash{}(key);
        Slot& slot = probe(key, hash);
        if (used(slot)) return {&slot.value, false};
        slot = Slot{key, value, generation_};
        ++count_;
        return {&slot.value, true};
    }

    std::size_t size() const { return count_; }

    // Empties the map and keeps its room, in constant time: a slot is in
    // use only when it carries the map's current generation.
    void clear() {
        if (count_ == 0) return;
        count_ = 0;
        if (++generation_ != 0) return;
        for (Slot& slot : slots_) slot.generation = 0;
        generation_ = 1;
    }

private:
    static constexpr std::size_t kInitialCapacity = 64;

    struct Slot {
        Key key{};
        Value value{};
        std::uint32_t generation = 0;  // 0: never used
    };

    bool used(const Slot& slot) const { return slot.generation == generation_; }

    Slot& probe(const Key& key, std::size_t hash) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (!used(slot) || slot.key == key) return slot;
        }
    }

    void grow() {
        std::vector<Slot> old(slots_.empty() ? kInitialCapacity : slots_.size() * 2);
        old.swap(slots_);
        grow_at_ = slots_.size() * 3 / 4;  // at most three quarters full
        const std::uint32_t old_generation = generation_;
        generation_ = 1;
        count_ = 0;
        for (Slot& s : old)
            if (s.generation == old_generation) try_emplace(s.key, s.value);
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    std::size_t grow_at_ = 0;  // the count at which the next entry grows the slots
    std::uint32_t generation_ = 1;
};

}  // namespace oxbuild
