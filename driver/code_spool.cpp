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

}  // namespace

// Numbers go seven bits to a byte, low bits first, the top bit set on every
// byte but the last.
void SpoolMarks::put_number(std::uint64_t value) {
    while (value > kDigitMask) {
        bytes_.push_back(static_cast<std::uint8_t>(value & kDigitMask) | kMoreDigits);
        value >>= kDigitBits;
    }
    bytes_.push_back(static_cast<std::uint8_t>(value));
}

void SpoolMarks::add(const SpoolMark& mark) {
    std::uint32_t& last_subject = last_subject_[mark.kind];
    put_number(mark.at - last_at_);
    const std::int64_t difference = static_cast<std::int64_t>(mark.subject) - last_subject;
    put_number(fold_sign(difference) << SpoolMark::kKindBits | mark.kind);
    last_at_ = mark.at;
    last_subject = mark.subject;
}

std::uint64_t SpoolMarks::Cursor::read_number() {
    std::uint64_t value = 0;
    for (unsigned shift = 0;; shift += kDigitBits) {
        const std::uint8_t byte = marks_->bytes_[next_byte_++];
        value |= (byte & kDigitMask) << shift;
        if ((byte & kMoreDigits) == 0) return value;
    }
}

void SpoolMarks::Cursor::advance() {
    if (next_byte_ == marks_->bytes_.size()) {
        done_ = true;
        return;
    }
    mark_.at += static_cast<std::uint32_t>(read_number());
    const std::uint64_t what = read_number();
    mark_.kind = static_cast<SpoolMark::Kind>(what & ((1u << SpoolMark::kKindBits) - 1));
    std::uint32_t& last_subject = last_subject_[mark_.kind];
    last_subject = static_cast<std::uint32_t>(last_subject + unfold_sign(what >> SpoolMark::kKindBits));
    mark_.subject = last_subject;
}

}  // namespace oxbuild
