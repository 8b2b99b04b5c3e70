// The base protocol: messages framed by a "Content-Length" header. Bytes
// are fed in as they arrive and whole message bodies come out; a header
// without a usable length, garbage between messages and bodies over the
// size limit are dropped, so no input can make the reader wait forever or
// hold unbounded memory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace oxls {

inline constexpr std::size_t kMaxMessageSize = 64u << 20;  // 64 MiB
inline constexpr std::size_t kMaxHeaderSize = 8u << 10;

class FrameReader {
public:
    void feed(std::string_view bytes);
    // The next whole body, if one has arrived.
    std::optional<std::string> next();
    // Bodies dropped for their size since the last call.
    std::size_t take_dropped() { return std::exchange(dropped_, 0); }

private:
    bool read_header();

    std::string buffer_;
    std::size_t body_length_ = 0;
    bool in_body_ = false;
    std::size_t skipping_ = 0;  // bytes of an oversized body still to drop
    std::size_t dropped_ = 0;
};

// The framed form of a body.
std::string frame(std::string_view body);

}  // namespace oxls
