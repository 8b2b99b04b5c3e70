#include "driver/code_spool.hpp"

namespace oxbuild {

namespace {

constexpr unsigned kDigitBits = 7;
constexpr std::uint8_t kMoreDigits = 0x80;
constexpr std::uint64_t kDigitMask = kMoreDigits - 1;

// A signed difference as an unsigned number with the sign in bit 0, so
// that small differences either way stay small.
std::uint64_t fold_sign(std::int64_t difference) {
    return (static_cast<std::uint64_t>(difference) << 1) ^ static_cast<std::uint64_t>(difference >> 63);
}
std::int64_t unfold_sign(std::uint64_t folded) {
    return static_cast<std::int64_t>(folded >> 1) ^ -static_cast<std::int64_t>(folded & 1);
}

// Numbers go seven bits to a byte, low bits first, the top bit set on every
// byte but the last.
constexpr std::size_t kMostNumberBytes = 10;  // 64 bits, seven to a byte

std::uint8_t* put_number(std::uint8_t* out, std::uint64_t value) {
    while (value > kDigitMask) {
        *out++ = static_cast<std::uint8_t>(value & kDigitMask) | kMoreDigits;
        value >>= kDigitBits;
    }
    *out++ = static_cast<std::uint8_t>(value);
    return out;
}

}  // namespace

void SpoolMarks::add(const SpoolMark& mark) {
    std::array<std::uint8_t, 2 * kMostNumberBytes> bytes;
    std::uint8_t* end = put_number(bytes.data(), mark.at - last_at_);
    const std::int64_t difference = mark.kind == SpoolMark::call
                                        ? static_cast<std::int64_t>(mark.value) - last_call_
                                        : static_cast<std::int64_t>(mark.value) - mark.at;
    end = put_number(end, fold_sign(difference) << SpoolMark::kKindBits | mark.kind);
    bytes_->write(bytes.data(), static_cast<std::size_t>(end - bytes.data()));
    last_at_ = mark.at;
    if (mark.kind == SpoolMark::call) last_call_ = mark.value;
}

bool SpoolMarks::Cursor::next_byte(std::uint8_t& byte) {
    while (next_ == end_) {
        const std::span<unsigned char> piece = pieces_.next();
        if (piece.empty()) return false;
        next_ = piece.data();
        end_ = next_ + piece.size();
    }
    byte = *next_++;
    return true;
}

bool SpoolMarks::Cursor::read_number(std::uint64_t& value) {
    value = 0;
    for (unsigned shift = 0;; shift += kDigitBits) {
        std::uint8_t byte = 0;
        if (!next_byte(byte)) return false;
        value |= (byte & kDigitMask) << shift;
        if ((byte & kMoreDigits) == 0) return true;
    }
}

void SpoolMarks::Cursor::advance() {
    std::uint64_t distance = 0;
    std::uint64_t what = 0;
    if (!read_number(distance) || !read_number(what)) {
        done_ = true;
        return;
    }
    mark_.at += static_cast<std::uint32_t>(distance);
    mark_.kind = static_cast<SpoolMark::Kind>(what & ((1u << SpoolMark::kKindBits) - 1));
    const std::int64_t difference = unfold_sign(what >> SpoolMark::kKindBits);
    if (mark_.kind == SpoolMark::call) mark_.value = last_call_ = static_cast<std::uint32_t>(last_call_ + difference);
    else mark_.value = static_cast<std::uint32_t>(mark_.at + difference);
}

void CodeSpool::add(CodeAddress at, SpoolMark::Kind kind, std::int64_t value) {
    constexpr auto kMost = static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max());
    if (at < 0 || at > kMost || value < 0 || value > kMost) spoiled_ = true;
    if (!spoiled_) marks_.add({static_cast<std::uint32_t>(at), kind, static_cast<std::uint32_t>(value)});
}

void CodeSpool::fill_in(const BlockRecords& blocks, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const Waiting& w = waiting_[i];
        if (w.call) add(w.at, SpoolMark::call, w.subject);
        else add(w.at, SpoolMark::address, address_in(blocks.at(w.subject), static_cast<BlockAddress>(w.which)));
    }
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(count));
}

void CodeSpool::close_function(const BlockRecords& blocks) {
    fill_in(blocks, waiting_.size());
    final_ = 0;
}

void CodeSpool::close_body_block(const BlockRecords& blocks) {
    fill_in(blocks, final_);
    final_ = waiting_.size();
}

}  // namespace oxbuild
