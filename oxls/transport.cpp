#include "oxls/transport.hpp"

#include <algorithm>
#include <charconv>
#include <utility>

namespace oxls {

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kLengthField = "content-length:";

// Where the lower-case field name stands in the line, in any case; bytes
// left over from a broken message may precede it.
std::size_t find_ignoring_case(std::string_view line, std::string_view field) {
    for (std::size_t at = 0; at + field.size() <= line.size(); ++at) {
        std::size_t i = 0;
        while (i < field.size() && std::tolower(static_cast<unsigned char>(line[at + i])) == field[i]) ++i;
        if (i == field.size()) return at;
    }
    return std::string_view::npos;
}

// The value of the Content-Length field among the header lines, if any.
std::optional<std::size_t> content_length(std::string_view header) {
    while (!header.empty()) {
        const std::size_t end = header.find("\r\n");
        std::string_view line = header.substr(0, end);
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 2);
        const std::size_t field = find_ignoring_case(line, kLengthField);
        if (field == std::string_view::npos) continue;
        line.remove_prefix(field + kLengthField.size());
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        std::size_t value = 0;
        const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), value);
        if (error == std::errc() && rest != line.data()) return value;
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

void FrameReader::feed(std::string_view bytes) {
    if (skipping_ > 0) {
        const std::size_t skip = std::min(skipping_, bytes.size());
        skipping_ -= skip;
        bytes.remove_prefix(skip);
    }
    buffer_.append(bytes);
}

// Finds the next header; false when more bytes are needed.
bool FrameReader::read_header() {
    const std::size_t end = buffer_.find(kHeaderEnd);
    if (end == std::string::npos) {
        // Garbage without a header end: keep only what could begin one.
        if (buffer_.size() > kMaxHeaderSize) buffer_.erase(0, buffer_.size() - (kHeaderEnd.size() - 1));
        return false;
    }
    const auto length = content_length(std::string_view(buffer_).substr(0, end));
    buffer_.erase(0, end + kHeaderEnd.size());
    if (!length) return true;  // no usable length: the header is dropped
    if (*length > kMaxMessageSize) {
        const std::size_t here = std::min(*length, buffer_.size());
        buffer_.erase(0, here);
        skipping_ = *length - here;
        ++dropped_;
        return true;
    }
    body_length_ = *length;
    in_body_ = true;
    return true;
}

std::optional<std::string> FrameReader::next() {
    while (true) {
        if (skipping_ > 0) return std::nullopt;
        if (in_body_) {
            if (buffer_.size() < body_length_) return std::nullopt;
            std::string body = buffer_.substr(0, body_length_);
            buffer_.erase(0, body_length_);
            in_body_ = false;
            return body;
        }
        if (!read_header()) return std::nullopt;
    }
}

std::string frame(std::string_view body) {
    std::string out = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    out += body;
    return out;
}

}  // namespace oxls
