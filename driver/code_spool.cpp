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

void SpoolMarks::Cursor::advance_across_pieces() {
    std::array<std::uint8_t, kMarkBytes> bytes;
    for (std::uint8_t& byte : bytes) {
        if (!next_byte(byte)) {
            done_ = true;
            return;
        }
    }
    const std::uint8_t* const rest = next_;
    const std::uint8_t* const rest_end = end_;
    next_ = bytes.data();
    end_ = next_ + bytes.size();
    read_in_piece();
    next_ = rest;
    end_ = rest_end;
}

void CodeSpool::fill_in(const BlockRecords& blocks, std::size_t end) {
    constexpr auto kMost = static_cast<std::int64_t>(SpoolMarks::kLargestAt);
    for (const Waiting* w = waiting_.data() + filled_; w != waiting_.data() + end; ++w) {
        const std::int64_t value =
            w->call ? w->subject : address_in(blocks.at(w->subject), static_cast<BlockAddress>(w->which));
        // Code addresses are refused past 32 bits before the module is
        // written; a mark past kLargestAt leaves the spool unused, and pass 2
        // reads the source again.
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
