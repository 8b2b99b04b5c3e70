// Resource files (bitmaps, waves) read as raw bytes, closed by RAII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.hpp"

namespace oxbuild {

class BinaryFile {
public:
    // nullptr when the file cannot be opened or is no regular file.
    static std::unique_ptr<BinaryFile> open(const std::string& path);
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    // Reads up to size bytes; fewer only at the end of the file or on error.
    std::size_t read(unsigned char* data, std::size_t size);
    std::int64_t size() const;

private:
    explicit BinaryFile(platform::InputFile file) : file_(std::move(file)) {}
    platform::InputFile file_;
};

// The whole file by its actual size; nullopt when it cannot be read.
std::optional<std::vector<unsigned char>> read_whole_file(const std::string& path);
// The same in a string, for a tool that holds a source as text.
std::optional<std::string> read_whole_text(const std::string& path);

// A 64-bit digest of a file's bytes, to tell whether it changed since it
// was read.
std::uint64_t content_digest(std::span<const unsigned char> bytes);

}  // namespace oxbuild
