// A source or include file read through a buffer of its own, with the
// text-mode rules applied as the buffer is filled: carriage returns are
// taken out of the data and a byte 0x1A ends the file, so the reader's
// scanners never meet either. The buffer's valid data ends with a zero
// sentinel byte. Offsets count raw bytes, carriage returns included.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.hpp"

namespace oxbuild {

class SourceStream {
public:
    // Opens a regular file for reading; nullptr when it cannot be opened or
    // is no regular file (a directory, device or pipe).
    static std::unique_ptr<SourceStream> open(const std::string& path);
    // A source held in memory (an editor's unsaved text), read by the same
    // rules as a file of those bytes.
    static std::unique_ptr<SourceStream> from_text(std::string text);
    // The same for a text that outlives the stream, which keeps no copy.
    static std::unique_ptr<SourceStream> from_view(std::string_view text);
    SourceStream(const SourceStream&) = delete;
    SourceStream& operator=(const SourceStream&) = delete;

    // The reader's part of the buffer: the bytes from next up to limit are
    // unread, and *limit is the zero sentinel. Bytes past the sentinel are
    // readable padding (kPadding of them), so a scanner may load a whole
    // word's worth of bytes at any position up to the limit.
    static constexpr std::size_t kPadding = 64;

    // Keeps the unread bytes from next on, moves them to the front and reads
    // more, until at least two bytes are unread or the file has ended.
    // A read error ends the run through the fatal stop.
    void refill(const unsigned char*& next, const unsigned char*& limit);
    bool ended() const { return ended_; }
    // The first unread byte of the reader's window (the end of the buffer
    // while nothing has been read).
    const unsigned char* start() const { return buffer_.get(); }

    // A block comment leaves a blank in place of its closing '/'.
    void put_blank_at(const unsigned char* p) { buffer_[static_cast<std::size_t>(p - buffer_.get())] = ' '; }

    // The raw file offset of the byte at p, a position in the buffer.
    std::int64_t raw_offset(const unsigned char* p) const {
        const auto index = static_cast<std::size_t>(p - buffer_.get());
        return base_offset_ + static_cast<std::int64_t>(index) + (returns_.empty() ? 0 : returns_up_to(index));
    }
    // The raw offset just past the byte before p: the same, less the
    // carriage returns taken out right before p.
    std::int64_t raw_end(const unsigned char* p) const {
        const auto index = static_cast<std::size_t>(p - buffer_.get());
        return base_offset_ + static_cast<std::int64_t>(index) + (returns_.empty() ? 0 : returns_before(index));
    }
    // Raw bytes taken from the file once it has ended: its size, or the
    // offset just past the 0x1A that ended it.
    std::int64_t end_offset() const { return end_offset_; }

    // Back to the first byte, for the second pass.
    void rewind();

    // Whether the name leads to this file, to refuse a module that would
    // overwrite its source.
    bool same_file_as(const std::string& path) const;

private:
    static constexpr unsigned char kCarriageReturn = 0x0D;
    static constexpr unsigned char kEndOfFileMark = 0x1A;
    static constexpr std::size_t kBufferSize = 1 << 16;
    static constexpr std::size_t kSmallestBuffer = 64;

    // Carriage returns taken out just before the byte at buffer index
    // `index`: `removed` counts all of them in the buffer up to there.
    struct RemovedReturns {
        std::uint32_t index;
        std::int64_t removed;
    };

    // A small file gets a buffer of its own size, so that opening many
    // small include files costs little.
    SourceStream(platform::InputFile file, std::size_t capacity);
    // Up to room bytes: from the file, or from the text held in memory.
    std::size_t read_input(unsigned char* at, std::size_t room);
    void move_to_front(const unsigned char* next, const unsigned char*& limit);
    void read_more(const unsigned char*& limit);
    std::size_t take_out_returns(unsigned char* from, std::size_t length);
    std::int64_t returns_up_to(std::size_t index) const;
    std::int64_t returns_before(std::size_t index) const;

    platform::InputFile file_;  // closed for a text held in memory
    std::string owned_text_;  // a text given to keep
    std::string_view text_;   // the text held in memory
    std::size_t text_read_ = 0;
    std::size_t capacity_;
    std::unique_ptr<unsigned char[]> buffer_;  // capacity_ + kPadding bytes
    std::int64_t base_offset_ = 0;  // raw offset of buffer_[0], less returns_up_to(0)
    std::int64_t raw_read_ = 0;     // raw bytes read from the file
    std::int64_t end_offset_ = 0;
    std::vector<RemovedReturns> returns_;
    bool ended_ = false;
};

}  // namespace oxbuild
