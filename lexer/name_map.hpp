// An open-addressing hash map from names (at most 32 characters) to values,
// probed with the hash the name's Word already carries. Every table of the
// compiler that the design searches as a list is one of these.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "lexer/word.hpp"

namespace oxbuild {

template <typename Value>
class NameMap {
public:
    Value* find(NameKey key) {
        if (count_ == 0) return nullptr;
        Slot* slot = probe(key);
        return used(*slot) ? &slot->value : nullptr;
    }
    const Value* find(NameKey key) const { return const_cast<NameMap*>(this)->find(key); }

    // The value of the name, inserted as given when the name is new.
    // Returns the value and whether it was inserted.
    std::pair<Value*, bool> try_emplace(NameKey key, const Value& value) {
        if (slots_.empty()) slots_.resize(kInitialCapacity);
        Slot* slot = probe(key);
        if (used(*slot)) return {&slot->value, false};
        if ((count_ + 1) * 4 > slots_.size() * 3) {
            grow();
            slot = probe(key);
        }
        slot->generation = generation_;
        slot->hash = key.hash;
        slot->length = static_cast<std::uint8_t>(key.text.size());
        std::memcpy(slot->name, key.text.data(), key.text.size());
        slot->value = value;
        ++count_;
        return {&slot->value, true};
    }

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
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
    static constexpr std::size_t kInitialCapacity = 16;

    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t generation = 0;  // 0: never used
        std::uint8_t length = 0;
        char name[kWordMax];
        Value value{};
    };

    bool used(const Slot& slot) const { return slot.generation == generation_; }

    // The slot holding the name, or the empty slot where it would go.
    Slot* probe(NameKey key) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = key.hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (!used(slot)) return &slot;
            if (slot.hash == key.hash && slot.length == key.text.size() &&
                std::memcmp(slot.name, key.text.data(), key.text.size()) == 0)
                return &slot;
        }
    }

    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        const std::uint32_t old_generation = generation_;
        generation_ = 1;
        const std::size_t mask = slots_.size() - 1;
        for (Slot& s : old) {
            if (s.generation != old_generation) continue;
            std::size_t i = s.hash & mask;
            while (used(slots_[i])) i = (i + 1) & mask;
            slots_[i] = std::move(s);
            slots_[i].generation = generation_;
        }
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    std::uint32_t generation_ = 1;
};

}  // namespace oxbuild
