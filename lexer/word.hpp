// A word: up to 32 characters of letters, digits and '_'. Longer words are
// cut to 32 characters while all of their characters are consumed.
#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace oxbuild {

inline constexpr std::size_t kWordMax = 32;

constexpr bool is_word_char(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }
constexpr bool is_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

class Word {
public:
    Word() = default;
    explicit Word(std::string_view text) { assign(text); }

    void assign(std::string_view text) {
        length_ = text.size() < kWordMax ? text.size() : kWordMax;
        std::memcpy(text_, text.data(), length_);
    }
    void clear() { length_ = 0; }
    // Appends when there is room; characters past the 32nd are dropped.
    void push(char c) {
        if (length_ < kWordMax) text_[length_++] = c;
    }
    bool empty() const { return length_ == 0; }
    std::size_t size() const { return length_; }
    char front() const { return length_ ? text_[0] : '\0'; }
    std::string_view view() const { return {text_, length_}; }
    std::string str() const { return std::string(view()); }
    bool operator==(std::string_view other) const { return view() == other; }

private:
    char text_[kWordMax];
    std::size_t length_ = 0;
};

// Hash and equality that let maps keyed by std::string be searched with a
// string_view, without building a string for every lookup.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a == b; }
};

}  // namespace oxbuild
