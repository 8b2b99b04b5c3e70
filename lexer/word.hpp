// A word: up to 32 characters of letters, digits and '_'. Longer words are
// cut to 32 characters while all of their characters are consumed. A word
// carries the hash of its text, computed once when a table first needs it,
// so that every table it is looked up in uses that one hash.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/char_classes.hpp"

namespace oxbuild {

inline constexpr std::size_t kWordMax = 32;

// The hash of a name of at most 32 characters, taken over its text in
// 8-byte pieces (little-endian, the last piece zero-filled) with one
// multiply per piece, so that a typical name costs one step. Every table
// probes with it; the high half of the product feeds the low bits.
namespace detail {
inline constexpr std::uint64_t kHashMultiplier = 0x9E3779B97F4A7C15ull;
// piece(i) gives the zero-filled 8-byte piece that starts at byte i.
template <typename Piece>
constexpr std::uint32_t hash_pieces(std::size_t length, Piece piece) {
    std::uint64_t h = length;
    for (std::size_t i = 0; i < length; i += 8) h = (h ^ piece(i)) * kHashMultiplier + (h >> 29);
    h ^= h >> 32;
    h *= kHashMultiplier;
    return static_cast<std::uint32_t>(h >> 32);
}
}  // namespace detail

// The 8 bytes of a name's text from byte at on (at < length), zero past
// its length; text holds at least kWordMax readable bytes, as a word's
// buffer does.
namespace detail {
// The mask that keeps a piece's first n bytes, n from 0 to 8.
inline constexpr std::array<std::uint64_t, 9> kPieceMasks = [] {
    std::array<std::uint64_t, 9> masks{};
    for (std::size_t n = 1; n < masks.size(); ++n) masks[n] = masks[n - 1] << 8 | 0xFF;
    return masks;
}();
}  // namespace detail
inline std::uint64_t word_piece(const char* text, std::size_t length, std::size_t at) {
    static_assert(std::endian::native == std::endian::little, "pieces are read little-endian");
    std::uint64_t piece;
    std::memcpy(&piece, text + at, sizeof piece);
    const std::size_t left = length - at;
    return piece & detail::kPieceMasks[left < 8 ? left : 8];
}

inline std::uint32_t hash_padded_word(const char* text, std::size_t length) {
    return detail::hash_pieces(length, [&](std::size_t at) { return word_piece(text, length, at); });
}

// The same hash of any text (cut to 32 characters), also at compile time;
// at run time the text is padded as a word's buffer is and hashed as one.
constexpr std::uint32_t hash_name(std::string_view name) {
    const std::size_t length = name.size() < kWordMax ? name.size() : kWordMax;
    if (!std::is_constant_evaluated()) {
        char padded[kWordMax] = {};
        if (length != 0) std::memcpy(padded, name.data(), length);  // an empty view may hold no pointer
        return hash_padded_word(padded, length);
    }
    return detail::hash_pieces(length, [&](std::size_t at) {
        std::uint64_t piece = 0;
        for (std::size_t k = 0; k < 8 && at + k < length; ++k)
            piece |= static_cast<std::uint64_t>(static_cast<unsigned char>(name[at + k])) << (8 * k);
        return piece;
    });
}

class Word {
public:
    Word() = default;
    explicit Word(std::string_view text) { assign(text); }

    void assign(std::string_view text) {
        length_ = static_cast<std::uint32_t>(text.size() < kWordMax ? text.size() : kWordMax);
        std::memcpy(text_, text.data(), length_);
        hash_ = hash_name(view());
        hashed_ = true;
        id_table_ = kNoTable;
    }
    void clear() {
        length_ = 0;
        hash_ = hash_name({});
        hashed_ = true;
        id_table_ = kNoTable;
    }
    // The text buffer, for readers that fill it in place before
    // set_length. The hash of such a word is taken when first asked for:
    // numbers, most of the words read, are never looked up.
    char* buffer() { return text_; }
    void set_length(std::size_t length) {
        length_ = static_cast<std::uint32_t>(length);
        hashed_ = false;
        id_table_ = kNoTable;
    }
    bool empty() const { return length_ == 0; }
    std::size_t size() const { return length_; }
    char front() const { return length_ ? text_[0] : '\0'; }
    std::string_view view() const { return {text_, length_}; }
    std::string str() const { return std::string(view()); }
    std::uint32_t hash() const {
        if (!hashed_) {
            hash_ = hash_padded_word(text_, length_);
            hashed_ = true;
        }
        return hash_;
    }
    bool operator==(std::string_view other) const { return view() == other; }

    // The number a name table gave this text, remembered so that the tables
    // a word is looked up in next need not search for it again. A table is
    // known by a serial number of its own, never reused, so a word that
    // outlives its table cannot be taken for one of another.
    std::uint32_t cached_id(std::uint64_t table) const { return id_table_ == table ? id_ : kNoCachedId; }
    void cache_id(std::uint64_t table, std::uint32_t id) const {
        id_table_ = table;
        id_ = id;
    }
    static constexpr std::uint32_t kNoCachedId = 0xFFFFFFFF;
    static constexpr std::uint64_t kNoTable = 0;

private:
    char text_[kWordMax];  // only the first length_ bytes are meaningful
    std::uint32_t length_ = 0;
    mutable std::uint32_t hash_ = hash_name({});
    mutable bool hashed_ = true;
    mutable std::uint64_t id_table_ = kNoTable;
    mutable std::uint32_t id_ = kNoCachedId;
};

// A name as a lookup key: its text, its hash, and the word it came from
// (whose hash is taken only when a table needs it, and whose remembered name
// number a name table may use).
struct NameKey {
    std::string_view text;
    const Word* word = nullptr;
    NameKey(const Word& w) : text(w.view()), word(&w) {}  // NOLINT: implicit on purpose
    NameKey(std::string_view name) : text(name.substr(0, name.size() < kWordMax ? name.size() : kWordMax)), text_hash_(hash_name(text)) {}  // NOLINT
    NameKey(const char* name) : NameKey(std::string_view(name)) {}  // NOLINT
    NameKey(const std::string& name) : NameKey(std::string_view(name)) {}  // NOLINT
    std::uint32_t hash() const { return word != nullptr ? word->hash() : text_hash_; }

private:
    std::uint32_t text_hash_ = 0;
};

// Which (first character, length) pairs occur in a fixed set of names, so
// that a word can be told it is none of them without a search. Built at
// compile time from the set.
class NameFilter {
public:
    template <typename Names, typename NameOf>
    constexpr NameFilter(const Names& names, NameOf name_of) {
        for (const auto& entry : names) {
            const std::string_view name = name_of(entry);
            if (!name.empty() && name.size() <= kWordMax)
                lengths_[static_cast<unsigned char>(name[0])] |= std::uint64_t{1} << name.size();
        }
    }
    constexpr bool may_hold(std::string_view name) const {
        return !name.empty() && name.size() <= kWordMax &&
               (lengths_[static_cast<unsigned char>(name[0])] >> name.size() & 1) != 0;
    }

private:
    std::uint64_t lengths_[256] = {};
};

// Hash and equality that let maps keyed by std::string be searched with a
// string_view, without building a string for every lookup.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return hash_name(s); }
};
struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a == b; }
};

}  // namespace oxbuild
