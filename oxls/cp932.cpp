#include "oxls/cp932.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace oxls {

namespace {

constexpr unsigned kFirstTrail = 0x40;
constexpr unsigned kLastTrail = 0xFC;
constexpr std::size_t kTrails = kLastTrail - kFirstTrail + 1;
constexpr unsigned kFirstKatakana = 0xA1;  // half-width katakana, one byte each
constexpr unsigned kLastKatakana = 0xDF;
constexpr char32_t kKatakanaBase = 0xFF61;
constexpr char32_t kAsciiEnd = 0x80;

constexpr std::uint16_t kDoubleByte[] = {
#include "oxls/cp932_table.inc"
};

// Lead bytes 0x81-0x9F and 0xE0-0xFC, as rows of kDoubleByte.
int lead_row(unsigned lead) {
    if (lead >= 0x81 && lead <= 0x9F) return static_cast<int>(lead - 0x81);
    if (lead >= 0xE0 && lead <= 0xFC) return static_cast<int>(lead - 0xE0 + 0x1F);
    return -1;
}
constexpr unsigned kRowCount = 0x1F + 0x1D;
static_assert(std::size(kDoubleByte) == kRowCount * kTrails);

unsigned row_lead(unsigned row) { return row < 0x1F ? 0x81 + row : 0xE0 + row - 0x1F; }

// Where a character has several codes, the one Windows writes: the JIS rows
// first, then NEC row 13, then the IBM extensions, then NEC's copy of them.
int code_preference(unsigned lead) {
    if (lead == 0x87) return 1;
    if (lead >= 0xFA) return 2;
    if (lead == 0xED || lead == 0xEE) return 3;
    return 0;
}

struct Reverse {
    char32_t code;
    std::uint16_t bytes;
};

const std::vector<Reverse>& reverse_table() {
    static const std::vector<Reverse> table = [] {
        std::vector<Reverse> all;
        for (unsigned row = 0; row < kRowCount; ++row)
            for (unsigned t = 0; t < kTrails; ++t)
                if (const char32_t code = kDoubleByte[row * kTrails + t]; code != 0)
                    all.push_back({code, static_cast<std::uint16_t>(row_lead(row) << 8 | (kFirstTrail + t))});
        std::stable_sort(all.begin(), all.end(), [](const Reverse& a, const Reverse& b) {
            if (a.code != b.code) return a.code < b.code;
            return code_preference(a.bytes >> 8u) < code_preference(b.bytes >> 8u);
        });
        all.erase(std::unique(all.begin(), all.end(), [](const Reverse& a, const Reverse& b) { return a.code == b.code; }),
                  all.end());
        return all;
    }();
    return table;
}

}  // namespace

Utf8Char read_utf8(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned first = byte(at);
    if (first < 0x80) return {first, 1};
    std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 0;
    if (length == 0 || first > 0xF4 || at + length > text.size()) return {kReplacementCharacter, 1};
    char32_t code = first & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned next = byte(at + i);
        if ((next & 0xC0) != 0x80) return {kReplacementCharacter, 1};
        code = code << 6 | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {kReplacementCharacter, 1};
    return {code, length};
}

void append_utf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

Cp932Char encode_cp932_char(char32_t code) {
    if (code < kAsciiEnd) return {{static_cast<unsigned char>(code), 0}, 1};
    if (code >= kKatakanaBase && code <= kKatakanaBase + (kLastKatakana - kFirstKatakana))
        return {{static_cast<unsigned char>(kFirstKatakana + (code - kKatakanaBase)), 0}, 1};
    const auto& table = reverse_table();
    const auto found = std::lower_bound(table.begin(), table.end(), code,
                                        [](const Reverse& r, char32_t c) { return r.code < c; });
    if (found == table.end() || found->code != code) return {{0, 0}, 0};
    return {{static_cast<unsigned char>(found->bytes >> 8), static_cast<unsigned char>(found->bytes)}, 2};
}

DecodedChar read_cp932(std::string_view text, std::size_t at) {
    const unsigned first = static_cast<unsigned char>(text[at]);
    if (first < kAsciiEnd) return {first, 1};
    if (first >= kFirstKatakana && first <= kLastKatakana) return {kKatakanaBase + (first - kFirstKatakana), 1};
    const int row = lead_row(first);
    if (row < 0 || at + 1 >= text.size()) return {kReplacementCharacter, 1};
    const unsigned trail = static_cast<unsigned char>(text[at + 1]);
    if (trail < kFirstTrail || trail > kLastTrail) return {kReplacementCharacter, 1};
    const char32_t code = kDoubleByte[static_cast<std::size_t>(row) * kTrails + (trail - kFirstTrail)];
    if (code == 0) return {kReplacementCharacter, 1};
    return {code, 2};
}

std::string cp932_to_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const DecodedChar c = read_cp932(text, at);
        append_utf8(out, c.code);
        at += c.length;
    }
    return out;
}

Cp932Text utf8_to_cp932(std::string_view text) {
    Cp932Text result;
    result.bytes.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char first = static_cast<unsigned char>(text[at]);
        if (first < 0x80) {  // most of a source
            result.bytes += static_cast<char>(first);
            ++at;
            continue;
        }
        const Utf8Char c = read_utf8(text, at);
        const Cp932Char encoded = encode_cp932_char(c.code);
        if (encoded.length == 0) {
            result.unmappable.push_back(at);
            result.bytes += static_cast<char>(kUnmappableByte);
        } else {
            result.bytes.append(reinterpret_cast<const char*>(encoded.bytes), encoded.length);
        }
        at += c.length;
    }
    return result;
}

}  // namespace oxls
