// A source or include file read through a large buffer of its own, with the
// text-mode rules applied: every carriage return is dropped and a byte 0x1A
// ends the file. The offset counts raw bytes, carriage returns included.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
        while (true) {
            if (pos_ == len_ && !refill()) return -1;
            const unsigned char c = buffer_[pos_++];
            if (c == kCarriageReturn) continue;
            if (c == kEndOfFileMark) {
                ended_ = true;
                base_ += static_cast<std::int64_t>(pos_);
                pos_ = len_ = 0;
                return -1;
            }
            return c;
        }
    }

    // Raw bytes taken from the file so far.
    std::int64_t offset() const { return base_ + static_cast<std::int64_t>(pos_); }

    // Back to the first byte, for the second pass.
    void rewind();

    // Device and inode, to refuse a module that would overwrite its source.
    bool same_file_as(const std::string& path) const;

private:
    static constexpr unsigned char kCarriageReturn = 0x0D;
    static constexpr unsigned char kEndOfFileMark = 0x1A;
    static constexpr std::size_t kBufferSize = 1 << 16;

    explicit SourceStream(int fd);
    bool refill();

    int fd_;
    std::vector<unsigned char> buffer_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    std::int64_t base_ = 0;  // file offset of buffer_[0]
    bool ended_ = false;
};

}  // namespace oxbuild
