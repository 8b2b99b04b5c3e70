#include "lexer/source_stream.hpp"

#include <algorithm>
#include <cstring>

#include "core/fatal.hpp"

namespace oxbuild {

std::unique_ptr<SourceStream> SourceStream::open(const std::string& path) {
    platform::InputFile file = platform::InputFile::open(path);
    if (!file.is_open()) return nullptr;
    const auto size = static_cast<std::uint64_t>(file.size()) + 1;  // one more byte meets the end at once
    const std::size_t capacity = std::clamp<std::uint64_t>(size, kSmallestBuffer, kBufferSize);
    return std::unique_ptr<SourceStream>(new SourceStream(std::move(file), capacity));
}

std::unique_ptr<SourceStream> SourceStream::from_text(std::string text) {
    auto stream = from_view(text);
    stream->owned_text_ = std::move(text);
    stream->text_ = stream->owned_text_;
    return stream;
}

std::unique_ptr<SourceStream> SourceStream::from_view(std::string_view text) {
    const std::size_t capacity = std::clamp<std::size_t>(text.size() + 1, kSmallestBuffer, kBufferSize);
    std::unique_ptr<SourceStream> stream(new SourceStream(platform::InputFile(), capacity));
    stream->text_ = text;
    return stream;
}

SourceStream::SourceStream(platform::InputFile file, std::size_t capacity)
    : file_(std::move(file)), capacity_(capacity), buffer_(new unsigned char[capacity + kPadding]()) {}

void SourceStream::refill(const unsigned char*& next, const unsigned char*& limit) {
    move_to_front(next, limit);
    next = buffer_.get();
    while (!ended_ && limit - next < 2) read_more(limit);
    buffer_[static_cast<std::size_t>(limit - buffer_.get())] = 0;
}

std::int64_t SourceStream::returns_before(std::size_t index) const {
    const auto at = std::lower_bound(returns_.begin(), returns_.end(), index,
                                     [](const RemovedReturns& r, std::size_t i) { return r.index < i; });
    return at == returns_.begin() ? 0 : std::prev(at)->removed;
}

std::int64_t SourceStream::returns_up_to(std::size_t index) const {
    const auto after = std::upper_bound(returns_.begin(), returns_.end(), index,
                                        [](std::size_t i, const RemovedReturns& r) { return i < r.index; });
    return after == returns_.begin() ? 0 : std::prev(after)->removed;
}

// The unread bytes move to the front; the offsets of the bytes kept stay
// what they were.
void SourceStream::move_to_front(const unsigned char* next, const unsigned char*& limit) {
    const auto shift = static_cast<std::size_t>(next - buffer_.get());
    if (shift == 0) return;
    const std::int64_t removed_before = returns_up_to(shift);
    base_offset_ += static_cast<std::int64_t>(shift) + removed_before;
    std::vector<RemovedReturns> kept;
    for (const RemovedReturns& r : returns_)
        if (r.index > shift) kept.push_back({static_cast<std::uint32_t>(r.index - shift), r.removed - removed_before});
    returns_.swap(kept);
    const auto unread = static_cast<std::size_t>(limit - next);
    std::memmove(buffer_.get(), next, unread);
    limit = buffer_.get() + unread;
}

// Reads into the free room after limit; a 0x1A ends the file there.
void SourceStream::read_more(const unsigned char*& limit) {
    unsigned char* at = buffer_.get() + (limit - buffer_.get());
    const std::size_t room = capacity_ - static_cast<std::size_t>(at - buffer_.get());
    const std::size_t n = read_input(at, room);
    if (n == 0) {
        ended_ = true;
        end_offset_ = raw_read_;
        return;
    }
    const std::int64_t chunk_offset = raw_read_;
    raw_read_ += static_cast<std::int64_t>(n);
    std::size_t length = n;
    if (const void* mark = std::memchr(at, kEndOfFileMark, length)) {
        length = static_cast<std::size_t>(static_cast<const unsigned char*>(mark) - at);
        ended_ = true;
        end_offset_ = chunk_offset + static_cast<std::int64_t>(length) + 1;
    }
    limit = at + take_out_returns(at, length);
}

std::size_t SourceStream::read_input(unsigned char* at, std::size_t room) {
    if (!file_.is_open()) {
        const std::size_t n = std::min(room, text_.size() - text_read_);
        std::memcpy(at, text_.data() + text_read_, n);
        text_read_ += n;
        return n;
    }
    const std::int64_t n = file_.read_some(at, room);
    if (n < 0) fatal_stop("read error in a source file");
    return static_cast<std::size_t>(n);
}

// Drops the carriage returns among the length bytes at from, remembering
// where they stood; returns the bytes left.
std::size_t SourceStream::take_out_returns(unsigned char* from, std::size_t length) {
    auto* first = static_cast<unsigned char*>(std::memchr(from, kCarriageReturn, length));
    if (first == nullptr) return length;
    unsigned char* out = first;
    for (const unsigned char* in = first; in != from + length; ++in) {
        if (*in != kCarriageReturn) {
            *out++ = *in;
            continue;
        }
        const auto index = static_cast<std::uint32_t>(out - buffer_.get());
        const std::int64_t removed = (returns_.empty() ? 0 : returns_.back().removed) + 1;
        if (!returns_.empty() && returns_.back().index == index) returns_.back().removed = removed;
        else returns_.push_back({index, removed});
    }
    return static_cast<std::size_t>(out - from);
}

void SourceStream::rewind() {
    if (!file_.is_open()) text_read_ = 0;
    else if (!file_.rewind()) fatal_stop("cannot rewind the source file");
    base_offset_ = raw_read_ = end_offset_ = 0;
    returns_.clear();
    ended_ = false;
}

bool SourceStream::same_file_as(const std::string& path) const {
    return file_.is_open() && file_.is_same_file(path);
}

}  // namespace oxbuild
