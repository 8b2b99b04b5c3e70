// What the fuzz targets share: a directory of the process's own for the
// files a compilation reads and writes, one in-process compilation, and the
// properties that every compilation must keep whatever its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace oxfuzz {

using Bytes = std::vector<unsigned char>;

// A fresh directory under $TMPDIR, made on first use and removed at exit.
class Workspace {
public:
    static Workspace& get();
    std::string path(std::string_view name) const;
    void write(std::string_view name, std::span<const std::uint8_t> bytes) const;
    void write(std::string_view name, std::string_view text) const;
    void remove(std::string_view name) const;

private:
    Workspace();
    ~Workspace();
    std::string dir_;
};

struct Outcome {
    int status = 0;
    std::string output;   // everything the compiler printed
    bool created = false;  // whether a module file is left
    Bytes module;
};

// Compiles the workspace's source file in process, as `oxbuild NAME` would.
Outcome compile(std::string_view source_name);

// Prints what broke, with the compiler's output, and aborts so that the
// fuzzer keeps the input.
[[noreturn]] void fail(const std::string& what, const Outcome& outcome);

// Exit status 0 exactly when a module was created, 1 with the error count
// and no module otherwise, never the fatal stop (no input file changes
// between the passes here, so a fatal stop means the passes disagreed), and
// a created module consistent in every offset, count and size.
void check_outcome(const Outcome& outcome);

// An 8-bit BMP file with the 40-byte information header: width x height
// pixels cycling through the colour table, colours-used given (0 means 256).
Bytes make_bitmap(std::int32_t width, std::int32_t height, std::uint32_t colours_used, std::uint8_t tint);

}  // namespace oxfuzz
