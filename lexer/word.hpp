// A word: up to 32 characters of letters, digits and '_'. Longer words are
// cut to 32 characters while all of their characters are consumed. A word
// carries the hash of its text, computed as its characters arrive, so that
// every table it is looked up in hashes it only once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace oxbuild {

inline constexpr std::size_t kWordMax = 32;

namespace detail {
constexpr std::array<bool, 257> make_word_table() {
    std::array<bool, 257> table{};  // index c + 1, so that -1 (the end) is 0
    for (int c = 'a'; c <= 'z'; ++c) table[static_cast<std::size_t>(c + 1)] = true;
    for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<std::size_t>(c + 1)] = true;
    for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c + 1)] = true;
    table['_' + 1] = true;
    return table;
}
inline constexpr std::array<bool, 257> kWordChars = make_word_table();
}  // namespace detail

// c is a byte value or -1.
constexpr bool is_word_char(int c) { return detail::kWordChars[static_cast<std::size_t>(c + 1)]; }
constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }
constexpr bool is_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// FNV-1a over the kept characters.
inline constexpr std::uint32_t kNameHashSeed = 2166136261u;
inline constexpr std::uint32_t kNameHashPrime = 16777619u;
constexpr std::uint32_t hash_step(std::uint32_t hash, char c) {
    return (hash ^ static_cast<unsigned char>(c)) * kNameHashPrime;
}
constexpr std::uint32_t hash_name(std::string_view name) {
    std::uint32_t hash = kNameHashSeed;
    for (const char c : name) hash = hash_step(hash, c);
    return hash;
}

class Word {
public:
    Word() = default;
    explicit Word(std::string_view text) { assign(text); }

    void assign(std::string_view text) {
        length_ = text.size() < kWordMax ? text.size() : kWordMax;
        std::memcpy(text_, text.data(), length_);
        hash_ = hash_name(view());
    }
    void clear() {
        length_ = 0;
        hash_ = kNameHashSeed;
    }
    // Takes text that the caller has already hashed with hash_step.
    // text holds kWordMax bytes, of which the first length count.
    void set(const char* text, std::size_t length, std::uint32_t hash) {
        std::memcpy(text_, text, kWordMax);
        length_ = length;
        hash_ = hash;
    }
    // Appends when there is room; characters past the 32nd are dropped.
    void push(char c) {
        if (length_ < kWordMax) {
            text_[length_++] = c;
            hash_ = hash_step(hash_, c);
        }
    }
    bool empty() const { return length_ == 0; }
    std::size_t size() const { return length_; }
    char front() const { return length_ ? text_[0] : '\0'; }
    std::string_view view() const { return {text_, length_}; }
    std::string str() const { return std::string(view()); }
    std::uint32_t hash() const { return hash_; }
    bool operator==(std::string_view other) const { return view() == other; }

private:
    char text_[kWordMax];
    std::size_t length_ = 0;
    std::uint32_t hash_ = kNameHashSeed;
};

// A name as a lookup key: its text and its hash.
struct NameKey {
    std::string_view text;
    std::uint32_t hash;
    NameKey(const Word& word) : text(word.view()), hash(word.hash()) {}  // NOLINT: implicit on purpose
    NameKey(std::string_view name) : text(name.substr(0, name.size() < kWordMax ? name.size() : kWordMax)), hash(hash_name(text)) {}  // NOLINT
    NameKey(const char* name) : NameKey(std::string_view(name)) {}  // NOLINT
    NameKey(const std::string& name) : NameKey(std::string_view(name)) {}  // NOLINT
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
