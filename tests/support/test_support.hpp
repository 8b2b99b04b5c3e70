// Helpers shared by the tests: temporary directories, files, running the
// compiler (in process or as the built binary), and building expected
// little-endian bytes field by field.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.hpp"

namespace oxtest {

using Bytes = std::vector<unsigned char>;

// A fresh directory, removed with everything in it: in the system's
// temporary directory or under the one given.
class TempDir {
public:
    TempDir();
    explicit TempDir(const std::filesystem::path& parent);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // The name appended as it stands (code page 932 bytes are not converted).
    std::string operator/(std::string_view name) const { return (path_ / "").string() + std::string(name); }

private:
    std::filesystem::path path_;
};

void write_file(const std::string& path, std::string_view bytes);
void write_file(const std::string& path, const Bytes& bytes);
Bytes read_file(const std::string& path);
bool file_exists(const std::string& path);
// Every entry under the directory by its relative name, sorted, a symbolic
// link as "name -> target": two listings tell what a run left behind.
std::vector<std::string> listing(const std::filesystem::path& dir);
// Whether a file can be created in the directory (permissions as this user
// meets them).
bool can_create_file_in(const std::filesystem::path& dir);

struct RunResult {
    std::string out;      // everything printed, lines ended by LF
    int status = 0;       // exit status
    std::string raw_out;  // the bytes as printed (CR LF line ends on Windows)
};

// Runs the built oxbuild binary in the directory, with OXBUILD_MESSAGES and
// OXBUILD_DEPFILE taken from env only. Standard error is not compared: an
// emulator may print there.
RunResult run_binary(const std::vector<std::string>& args, const std::string& cwd,
                     const std::vector<std::string>& env = {});
// The same for a program named by path or found on the PATH.
RunResult run_program(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                      const std::vector<std::string>& env = {});

// Compiles one source in a fresh directory, in process; the module's bytes
// are empty when no module was left.
struct Compiled {
    std::string out;
    int status = 0;
    Bytes module;
    bool module_exists = false;
};
Compiled compile_source(std::string_view source, std::string_view name = "prog.oxs");
// The same in a given directory (resource files may be placed there first).
Compiled compile_in(const TempDir& dir, std::string_view source, std::string_view name = "prog.oxs");

// The error line the compiler prints: "FILE(LINE):MESSAGE DETAIL\n".
std::string error_line(std::string_view file, int line, const oxbuild::Message& message, std::string_view detail = "");
// ": 引数N" in code page 932.
std::string argument_detail(int number);
// The banner and the error lines, then "   N個のエラーがあります".
std::string failed_output(std::string_view error_lines, int count);
std::string created_output(std::string_view module_name = "prog.oxb");

// Builds expected bytes.
class ByteWriter {
public:
    ByteWriter& byte(std::uint32_t v);
    ByteWriter& word(std::uint32_t v);
    ByteWriter& dword(std::uint32_t v);
    ByteWriter& text(std::string_view s);
    ByteWriter& zeros(std::size_t n);
    ByteWriter& bytes(const Bytes& b);
    const Bytes& get() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

private:
    Bytes bytes_;
};

std::uint32_t dword_at(const Bytes& b, std::size_t at);
std::uint16_t word_at(const Bytes& b, std::size_t at);

// The code area of a module (from the code base to the bitmap section).
Bytes code_area(const Bytes& module);
std::uint32_t code_base(const Bytes& module);

// Hex dump for readable failure messages.
std::string hex(const Bytes& b);

}  // namespace oxtest
