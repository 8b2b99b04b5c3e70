// Every distinct name of a compilation, stored once and numbered. The
// symbol tables keep per-name facts in arrays indexed by these numbers, so a
// name is hashed and compared once per lookup however many tables hold it.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/chunked_vector.hpp"
#include "core/growable_array.hpp"
#include "lexer/word.hpp"
#include "platform/platform.hpp"

namespace oxbuild {

using NameId = std::uint32_t;
inline constexpr NameId kNoName = 0xFFFFFFFF;

// What the symbol tables keep for one name, in one record per name number
// made when the name is numbered, so that no table grows an array of its
// own as names are met. Each field belongs to one kind of table, of which
// one at a time uses the name table (a new one forgets its field).
inline constexpr std::uint32_t kNoRecord = 0xFFFFFFFF;
struct NameRecord {
    std::uint32_t scope_top = kNoRecord;       // ScopeTable: the innermost declaration
    std::uint32_t prototype = kNoRecord;       // PrototypeTable: the name's prototype
    std::uint32_t first_function = kNoRecord;  // FunctionTable: the name's first record
    std::uint32_t accepted_in = 0;             // ParameterList: the list that accepted it
};

// Copies of small arrays kept for the whole compilation in large chunks, so
// that no record needs an allocation of its own.
template <typename T>
class Arena {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    // readable: how many items from the copy's start must lie in its chunk
    // (the copy's own and, past them, unspecified ones).
    std::span<const T> copy(std::span<const T> items, std::size_t readable = 0) {
        const std::size_t room = std::max(items.size(), readable);
        if (room == 0) return {};
        if (used_ + room > capacity_) start_chunk(room);  // also the first: capacity_ is 0 until then
        T* at = chunks_.back().get() + used_;
        // Parameter lists are mostly an item or two, copied without a call.
        if (items.size() <= kFewItems) for (std::size_t i = 0; i < items.size(); ++i) at[i] = items[i];
        else std::memcpy(at, items.data(), items.size() * sizeof(T));
        used_ += items.size();
        return {at, items.size()};
    }
    // The same for items whose source holds Readable items from its start
    // (items.size() at most Readable): copied in one move of that fixed
    // size, the room past them left to the next copy.
    template <std::size_t Readable>
    std::span<const T> copy_readable(std::span<const T> items) {
        if (used_ + Readable > capacity_) start_chunk(Readable);
        T* at = chunks_.back().get() + used_;
        std::memcpy(at, items.data(), Readable * sizeof(T));
        used_ += items.size();
        return {at, items.size()};
    }
    // Room for n items (at least one) in one chunk, to be filled in place.
    T* allot(std::size_t n) {
        if (used_ + n > capacity_) start_chunk(n);
        T* at = chunks_.back().get() + used_;
        used_ += n;
        return at;
    }

private:
    [[gnu::noinline]] void start_chunk(std::size_t room) {
        capacity_ = room > kChunk ? room : kChunk;
        // Not filled: only copies are read (the bytes readable past a name's
        // text are masked off by whoever loads them).
        chunks_.push_back(std::unique_ptr<T[]>(new T[capacity_]));
        used_ = 0;
    }

    static constexpr std::size_t kChunk = 4096;
    static constexpr std::size_t kFewItems = 4;
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
};

class NameTable {
public:
    // Room from the start for the host's names and a small program's, so
    // that a small compilation grows nothing.
    NameTable() : slots_(kFirstSlots), records_(kFirstSlots / 2) {}
    // A copy would share the serial number words remember it by.
    NameTable(const NameTable&) = delete;
    NameTable& operator=(const NameTable&) = delete;

    // The name's number, given a new one when the name is new.
    NameId intern(const NameKey& key) {
        if (const NameId known = recall(key); known != kNoName) return known;
        return intern_by_search(key);
    }
    // The name's number, or kNoName.
    NameId find(const NameKey& key) const {
        if (const NameId known = recall(key); known != kNoName) return known;
        return find_by_search(key);
    }
    std::string_view text(NameId id) const { return names_[id].view(); }
    std::size_t size() const { return names_.size(); }
    // The record of a numbered name.
    NameRecord& record(NameId id) { return records_[id]; }
    const NameRecord& record(NameId id) const { return records_[id]; }
    // Sets one field of every record, for a table that starts afresh.
    void reset_field(std::uint32_t NameRecord::*field, std::uint32_t value) {
        for (std::size_t i = 0; i < records_.size(); ++i) records_[i].*field = value;
    }

private:
    // A numbered name's text, hashed once. Its bytes lie in the pool with
    // at least kWordMax readable bytes from its start, so that it is
    // compared in whole 8-byte pieces as a word's buffer is.
    struct Name {
        const char* text;
        std::uint32_t length;
        std::uint32_t hash;
        std::string_view view() const { return {text, length}; }
        bool equals(const NameKey& key) const {
            if (length != key.text.size()) return false;
            if (key.word == nullptr) return view() == key.text;
            for (std::size_t i = 0; i < length; i += 8)
                if (word_piece(text, length, i) != word_piece(key.text.data(), length, i)) return false;
            return true;
        }
    };
    Name make_name(const NameKey& key, std::uint32_t hash) {
        // A word's buffer holds kWordMax bytes.
        const std::span<const char> stored =
            key.word != nullptr ? pool_.copy_readable<kWordMax>(key.text) : pool_.copy(key.text, kWordMax);
        return {stored.data(), static_cast<std::uint32_t>(stored.size()), hash};
    }

    // A word's own remembered number, or the number of a short name met
    // recently: names are read again and again (i, n, a), and a short one
    // is told apart by one 8-byte piece and its length, without a hash.
    NameId recall(const NameKey& key) const {
        static_assert(Word::kNoCachedId == kNoName);
        if (key.word == nullptr) return kNoName;
        if (const NameId cached = key.word->cached_id(serial_); cached != kNoName) return cached;
        const std::size_t length = key.text.size();
        if (length > kShortName) return kNoName;
        const std::uint64_t piece = short_piece(key);
        const ShortName& recent = recent_[recent_slot(piece, length)];
        if (recent.piece != piece || recent.length != length) return kNoName;
        key.word->cache_id(serial_, recent.id);
        return recent.id;
    }
    // Only numbers found are remembered: a name not yet in the table may be
    // added later, and names are never taken out.
    void remember(const NameKey& key, NameId id) const {
        if (key.word == nullptr || id == kNoName) return;
        key.word->cache_id(serial_, id);
        const std::size_t length = key.text.size();
        if (length <= kShortName) {
            const std::uint64_t piece = short_piece(key);
            recent_[recent_slot(piece, length)] = {piece, static_cast<std::uint32_t>(length), id};
        }
    }
    // A short name is its bytes in one 8-byte piece and its length. Only a
    // word's text comes here, whose buffer holds kWordMax bytes (an empty
    // one's piece is masked off whole).
    static constexpr std::size_t kShortName = 8;
    static std::uint64_t short_piece(const NameKey& key) { return word_piece(key.text.data(), key.text.size(), 0); }
    static std::size_t recent_slot(std::uint64_t piece, std::size_t length) {
        return ((piece + length) * detail::kHashMultiplier) >> (64 - kRecentBits);
    }

    [[gnu::noinline]] NameId intern_by_search(const NameKey& key) {
        if ((names_.size() + 1) * 2 > slots_.size()) grow();
        const std::uint32_t hash = key.hash();
        std::uint32_t& slot = probe(key, hash);
        if (slot == kEmptySlot) {
            slot = slot_of(static_cast<NameId>(names_.size()));
            names_.push_back(make_name(key, hash));
            records_.push_back(NameRecord{});
        }
        const NameId id = id_in(slot);
        remember(key, id);
        return id;
    }
    [[gnu::noinline]] NameId find_by_search(const NameKey& key) const {
        if (names_.empty()) return kNoName;
        const std::uint32_t slot = const_cast<NameTable*>(this)->probe(key, key.hash());
        const NameId id = slot == kEmptySlot ? kNoName : id_in(slot);
        remember(key, id);
        return id;
    }

    // A slot holds a name's number plus one, 0 when it is empty, so that
    // a new array is zeroed memory: the system hands large blocks out
    // cleared, with nothing to fill.
    static constexpr std::uint32_t kEmptySlot = 0;
    static std::uint32_t slot_of(NameId id) { return id + 1; }
    static NameId id_in(std::uint32_t slot) { return slot - 1; }
    class Slots {
    public:
        explicit Slots(std::size_t n) : items_(static_cast<std::uint32_t*>(std::calloc(n, sizeof(std::uint32_t)))), size_(n) {
            if (items_ == nullptr) throw std::bad_alloc();
            // The filling writes slots all over, so the system backs their
            // pages in one request first.
            platform::back_pages_now(items_.get(), n * sizeof(std::uint32_t));
        }
        std::size_t size() const { return size_; }
        std::uint32_t& operator[](std::size_t i) { return items_.get()[i]; }

    private:
        std::unique_ptr<std::uint32_t, FreeCBlock<std::uint32_t>> items_;
        std::size_t size_;
    };

    // The slot holding the name, or the empty slot where it goes.
    std::uint32_t& probe(const NameKey& key, std::uint32_t hash) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            std::uint32_t& slot = slots_[i];
            if (slot == kEmptySlot) return slot;
            const Name& name = names_[id_in(slot)];
            if (name.hash == hash && name.equals(key)) return slot;
        }
    }
    static constexpr std::size_t kFirstSlots = 256;
    // The names are placed again in number order, from their kept hashes:
    // half the work of going through the old slots, half of them empty.
    void grow() {
        slots_ = Slots(slots_.size() * 2);
        const std::size_t mask = slots_.size() - 1;
        NameId id = 0;
        for (const Name& name : names_) {
            std::size_t i = name.hash & mask;
            while (slots_[i] != kEmptySlot) i = (i + 1) & mask;
            slots_[i] = slot_of(id++);
        }
    }

    // An entry not yet filled has a length no name has, so that it matches
    // nothing.
    struct ShortName {
        std::uint64_t piece = 0;
        std::uint32_t length = kNoLength;
        NameId id = kNoName;
    };
    static constexpr std::uint32_t kNoLength = 0xFFFFFFFF;
    static constexpr unsigned kRecentBits = 8;
    mutable std::array<ShortName, std::size_t{1} << kRecentBits> recent_{};

    static std::uint64_t next_serial() {
        static std::atomic<std::uint64_t> last{Word::kNoTable};
        return ++last;
    }
    const std::uint64_t serial_ = next_serial();

    // Open addressing by hash, at most half full; the hash is kept beside
    // the name's text.
    Slots slots_;
    ChunkedVector<Name> names_;  // by number; no copy and no doubled peak as it grows
    // By name number, one made with each name; one block, reallocated as it
    // grows, so that a record is one index away. Kept apart from the
    // texts, as the tables read records far more often.
    GrowableArray<NameRecord> records_;
    Arena<char> pool_;  // the texts' bytes
};

// Facts kept per name, in an array by name number that reads as zero
// where nothing was set: T's value-initialised form must be all zero bytes,
// as every fact's "none" is. Names are numbered in the order they are met,
// so most new names land at the end. The array grows (doubled) into zeroed
// memory, so that pages never written cost nothing where large blocks come
// zeroed from the system, as the C library's do: a table that meets one
// late name (a function's parameter named last in a long program) then
// does not fill an entry for every name before it. The first growth makes
// room for the host's names and a small program's.
template <typename T>
class NameFacts {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    std::size_t size() const { return size_; }
    // The name's entry, the array grown when the name is past its end.
    T& operator[](NameId id) {
        if (id >= size_) [[unlikely]] grow(id);
        return items_.get()[id];
    }
    // The name's entry, or nullptr past the end (none set).
    const T* find(NameId id) const { return id < size_ ? items_.get() + id : nullptr; }
    // Every entry back to zero.
    void clear_all() {
        if (size_ != 0) std::memset(static_cast<void*>(items_.get()), 0, size_ * sizeof(T));
    }

private:
    static constexpr std::size_t kFirstFacts = 256;
    [[gnu::noinline]] void grow(NameId id) {
        const std::size_t n = std::max<std::size_t>({std::size_t{id} + 1, size_ * 2, kFirstFacts});
        auto* fresh = static_cast<T*>(std::calloc(n, sizeof(T)));
        if (fresh == nullptr) throw std::bad_alloc();
        if (size_ != 0) std::memcpy(static_cast<void*>(fresh), items_.get(), size_ * sizeof(T));
        items_.reset(fresh);
        size_ = n;
    }
    std::unique_ptr<T, FreeCBlock<T>> items_;
    std::size_t size_ = 0;
};

}  // namespace oxbuild
