// A source or include file read through a large buffer of its own, with the
// text-mode rules applied: every carriage return is dropped and a byte 0x1A
// ends the file. The offset counts raw bytes, carriage returns included.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <span>

namespace oxbuild {

class SourceStream {
public:
    // Opens a regular file for reading; nullptr when it cannot be opened or
    // is no regular file (a directory, device or pipe).
    static std::unique_ptr<SourceStream> open(const std::string& path);
    ~SourceStream();
    SourceStream(const SourceStream&) = delete;
    SourceStream& operator=(const SourceStream&) = delete;

    // The next byte that reaches the reader, or -1 at the end of the file.
    // A read error (not the end) ends the run through the fatal stop.
    int next_byte() {
        if (next_ != limit_) {
            const unsigned char c = *next_;
            if (c != kCarriageReturn && c != kEndOfFileMark) {
                ++next_;
                return c;
            }
        }
        return next_byte_slow();
    }

    // Raw bytes taken from the file so far.
    std::int64_t offset() const { return base_ + (next_ - buffer_.data()); }

    // Bulk access for the scanners of runs of blanks and word characters:
    // the unread bytes of the buffer (carriage returns and 0x1A among them
    // stop a scan, since they belong to neither run), and moving past them.
    const unsigned char* unread_begin() const { return next_; }
    const unsigned char* unread_end() const { return limit_; }
    void consume_to(const unsigned char* p) { next_ = p; }

    // Back to the first byte, for the second pass.
    void rewind();

    // Device and inode, to refuse a module that would overwrite its source.
    bool same_file_as(const std::string& path) const;

private:
    static constexpr unsigned char kCarriageReturn = 0x0D;
    static constexpr unsigned char kEndOfFileMark = 0x1A;
    static constexpr std::size_t kBufferSize = 1 << 16;

    // A small file gets a buffer of its own size, so that opening many
    // small include files costs little.
    SourceStream(int fd, std::size_t buffer_size);
    int next_byte_slow();
    bool refill();

    int fd_;
    std::unique_ptr<unsigned char[]> storage_;  // not zero-filled: only read bytes are used
    std::span<unsigned char> buffer_;
    const unsigned char* next_;
    const unsigned char* limit_;
    std::int64_t base_ = 0;  // file offset of buffer_[0]
    bool ended_ = false;
};

}  // namespace oxbuild
