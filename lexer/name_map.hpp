// A hash map from names (at most 32 characters) to values, probed with the
// hash the name's Word already carries: a FlatMap keyed by the name's text.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "core/flat_map.hpp"
#include "lexer/word.hpp"

namespace oxbuild {

template <typename Value>
class NameMap {
public:
    Value* find(const NameKey& key) { return map_.find(StoredName::of(key)); }
    const Value* find(const NameKey& key) const { return map_.find(StoredName::of(key)); }

    // The value of the name, inserted as given when the name is new.
    // Returns the value and whether it was inserted.
    std::pair<Value*, bool> try_emplace(const NameKey& key, const Value& value) {
        return map_.try_emplace(StoredName::of(key), value);
    }

    std::size_t size() const { return map_.size(); }
    bool empty() const { return map_.size() == 0; }
    // Empties the map and keeps its room, in constant time.
    void clear() { map_.clear(); }

private:
    struct StoredName {
        std::uint32_t hash = 0;
        std::uint8_t length = 0;
        char name[kWordMax] = {};
        static StoredName of(const NameKey& key) {
            StoredName stored;
            stored.hash = key.hash();
            stored.length = static_cast<std::uint8_t>(key.text.size());
            std::memcpy(stored.name, key.text.data(), key.text.size());
            return stored;
        }
        bool operator==(const StoredName& other) const {
            return hash == other.hash && length == other.length && std::memcmp(name, other.name, length) == 0;
        }
    };
    struct StoredHash {
        std::size_t operator()(const StoredName& name) const { return name.hash; }
    };

    FlatMap<StoredName, Value, StoredHash> map_;
};

}  // namespace oxbuild
