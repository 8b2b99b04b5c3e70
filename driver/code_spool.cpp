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
std::uint8_t* put_number(std::uint8_t* out, std::uint64_t value) {
    while (value > kDigitMask) {
        *out++ = static_cast<std::uint8_t>(value & kDigitMask) | kMoreDigits;
        value >>= kDigitBits;
    }
    *out++ = static_cast<std::uint8_t>(value);
    return out;
}

}  // namespace

void SpoolMarks::start_chunk() {
    if (!chunks_.empty()) chunks_.back().used = static_cast<std::size_t>(next_ - chunks_.back().bytes.get());
    chunks_.push_back({std::make_unique_for_overwrite<std::uint8_t[]>(kChunkBytes), 0});
    next_ = chunks_.back().bytes.get();
    end_ = next_ + kChunkBytes;
}

void SpoolMarks::add(const SpoolMark& mark) {
    if (static_cast<std::size_t>(end_ - next_) < kMostMarkBytes) start_chunk();
    std::uint32_t& last_subject = last_subject_[mark.kind];
    next_ = put_number(next_, mark.at - last_at_);
    const std::int64_t difference = static_cast<std::int64_t>(mark.subject) - last_subject;
    next_ = put_number(next_, fold_sign(difference) << SpoolMark::kKindBits | mark.kind);
    last_at_ = mark.at;
    last_subject = mark.subject;
}

std::uint64_t SpoolMarks::Cursor::read_number() {
    std::uint64_t value = 0;
    for (unsigned shift = 0;; shift += kDigitBits) {
        const std::uint8_t byte = *next_++;
        value |= (byte & kDigitMask) << shift;
        if ((byte & kMoreDigits) == 0) return value;
    }
}

void SpoolMarks::Cursor::advance() {
    while (next_ == end_) {
        if (chunk_ == marks_->chunks_.size()) {
            done_ = true;
            return;
        }
        next_ = marks_->chunks_[chunk_].bytes.get();
        end_ = next_ + marks_->used_in(chunk_);
        ++chunk_;
    }
    mark_.at += static_cast<std::uint32_t>(read_number());
    const std::uint64_t what = read_number();
    mark_.kind = static_cast<SpoolMark::Kind>(what & ((1u << SpoolMark::kKindBits) - 1));
    std::uint32_t& last_subject = last_subject_[mark_.kind];
    last_subject = static_cast<std::uint32_t>(last_subject + unfold_sign(what >> SpoolMark::kKindBits));
    mark_.subject = last_subject;
}

}  // namespace oxbuild
