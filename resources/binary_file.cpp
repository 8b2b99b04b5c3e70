#include "resources/binary_file.hpp"

#include <cstring>

namespace oxbuild {

std::unique_ptr<BinaryFile> BinaryFile::open(const std::string& path) {
    platform::InputFile file = platform::InputFile::open(path);
    if (!file.is_open()) return nullptr;
    return std::unique_ptr<BinaryFile>(new BinaryFile(std::move(file)));
}

std::size_t BinaryFile::read(unsigned char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const std::int64_t n = file_.read_some(data + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::int64_t BinaryFile::size() const { return file_.size(); }

namespace {

template <class Container>
std::optional<Container> read_whole(const std::string& path) {
    const auto file = BinaryFile::open(path);
    if (!file) return std::nullopt;
    const std::int64_t size = file->size();
    if (size < 0) return std::nullopt;
    Container bytes(static_cast<std::size_t>(size), 0);
    if (file->read(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()) != bytes.size()) return std::nullopt;
    return bytes;
}

}  // namespace

std::optional<std::vector<unsigned char>> read_whole_file(const std::string& path) {
    return read_whole<std::vector<unsigned char>>(path);
}

std::optional<std::string> read_whole_text(const std::string& path) { return read_whole<std::string>(path); }

std::uint64_t content_digest(std::span<const unsigned char> bytes) {
    constexpr std::uint64_t kOffset = 0xCBF29CE484222325ull;
    constexpr std::uint64_t kPrime = 0x100000001B3ull;
    std::uint64_t digest = kOffset ^ bytes.size();
    std::size_t at = 0;
    for (; at + sizeof(std::uint64_t) <= bytes.size(); at += sizeof(std::uint64_t)) {
        std::uint64_t piece;
        std::memcpy(&piece, bytes.data() + at, sizeof piece);
        digest = (digest ^ piece) * kPrime;
        digest ^= digest >> 29;
    }
    for (; at < bytes.size(); ++at) digest = (digest ^ bytes[at]) * kPrime;
    return digest;
}

}  // namespace oxbuild
