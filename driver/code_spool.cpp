#include "driver/code_spool.hpp"

namespace oxbuild {

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

void SpoolMarks::Cursor::read_in_piece() {
    const auto read = [this] {
        std::uint64_t value = 0;
        for (unsigned shift = 0;; shift += kDigitBits) {
            const std::uint8_t byte = *next_++;
            value |= (byte & kDigitMask) << shift;
            if ((byte & kMoreDigits) == 0) return value;
        }
    };
    mark_.at += static_cast<std::uint32_t>(read());
    const std::uint64_t what = read();
    mark_.kind = static_cast<SpoolMark::Kind>(what & ((1u << SpoolMark::kKindBits) - 1));
    const std::int64_t difference = unfold_sign(what >> SpoolMark::kKindBits);
    if (mark_.kind == SpoolMark::call) mark_.value = last_call_ = static_cast<std::uint32_t>(last_call_ + difference);
    else mark_.value = static_cast<std::uint32_t>(mark_.at + difference);
}

void SpoolMarks::Cursor::advance() {
    if (static_cast<std::size_t>(end_ - next_) >= kMostMarkBytes) return read_in_piece();
    // Near a piece's end a mark may go on in the next piece: it is put
    // together byte by byte.
    std::array<std::uint8_t, kMostMarkBytes> bytes;
    std::size_t size = 0;
    for (int numbers = 0; numbers < 2;) {
        if (size == bytes.size() || !next_byte(bytes[size])) {
            done_ = true;
            return;
        }
        if ((bytes[size++] & kMoreDigits) == 0) ++numbers;
    }
    const std::uint8_t* const rest = next_;
    const std::uint8_t* const rest_end = end_;
    next_ = bytes.data();
    end_ = next_ + size;
    read_in_piece();
    next_ = rest;
    end_ = rest_end;
}

void CodeSpool::fill_in(const BlockRecords& blocks, std::size_t end) {
    constexpr auto kMost = static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max());
    for (const Waiting* w = waiting_.data() + filled_; w != waiting_.data() + end; ++w) {
        const std::int64_t value =
            w->call ? w->subject : address_in(blocks.at(w->subject), static_cast<BlockAddress>(w->which));
        // Code addresses are refused past 32 bits before the module is written.
        if (w->at < 0 || w->at > kMost || value < 0) [[unlikely]] spoiled_ = true;
        if (!spoiled_) [[likely]]
            marks_.add({static_cast<std::uint32_t>(w->at), w->call ? SpoolMark::call : SpoolMark::address,
                        static_cast<std::uint32_t>(value)});
    }
    filled_ = end;
}

void CodeSpool::fill_in_all(const BlockRecords& blocks) {
    fill_in(blocks, waiting_.size());
    waiting_.clear();
    filled_ = final_ = 0;
}

void CodeSpool::fill_in_ready(const BlockRecords& blocks, std::size_t ready) {
    fill_in(blocks, ready);
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(filled_));
    final_ -= filled_;
    filled_ = 0;
}

}  // namespace oxbuild
