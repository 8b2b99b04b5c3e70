#include "fuzz_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include "driver/command_line.hpp"
#include "stress/module_layout_check.hpp"

namespace oxfuzz {

namespace fs = std::filesystem;

namespace {

// The fatal stop's last line; a source may hold the same words in a name
// that an error line quotes, so only the end of the output tells.
constexpr std::string_view kFatalLine = "   Fatal Error\n";
constexpr std::string_view kCreatedEnd = " created\n";
constexpr int kExitSuccess = 0;
constexpr int kExitSourceErrors = 1;

std::string module_name_of(std::string_view source_name) {
    const auto dot = source_name.rfind('.');
    return std::string(source_name.substr(0, dot)) + ".oxb";
}

Bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ends_with(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// The last line: "   N" and the error count suffix, N at least 1.
bool ends_with_error_count(std::string_view output) {
    if (output.empty() || output.back() != '\n') return false;
    const auto start = output.rfind('\n', output.size() - 2);
    const std::string_view line = output.substr(start == std::string_view::npos ? 0 : start + 1);
    std::size_t at = 0;
    while (at < line.size() && line[at] == ' ') ++at;
    const std::size_t digits = at;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at;
    return at > digits && line[digits] != '0';
}

}  // namespace

Workspace& Workspace::get() {
    static Workspace workspace;
    return workspace;
}

Workspace::Workspace() {
    std::string pattern = (fs::temp_directory_path() / "oxbuild-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    dir_ = pattern;
}

Workspace::~Workspace() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string Workspace::path(std::string_view name) const { return dir_ + "/" + std::string(name); }

void Workspace::write(std::string_view name, std::span<const std::uint8_t> bytes) const {
    std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::cerr << "cannot write " << path(name) << '\n';
        std::abort();
    }
}

void Workspace::write(std::string_view name, std::string_view text) const {
    write(name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void Workspace::remove(std::string_view name) const { ::unlink(path(name).c_str()); }

Outcome compile(std::string_view source_name) {
    const Workspace& workspace = Workspace::get();
    const std::string module_name = module_name_of(source_name);
    workspace.remove(module_name);
    std::ostringstream out;
    Outcome outcome;
    outcome.status = oxbuild::run_compiler({workspace.path(source_name)}, out);
    outcome.output = out.str();
    const std::string module_path = workspace.path(module_name);
    outcome.created = fs::exists(module_path);
    if (outcome.created) outcome.module = read_bytes(module_path);
    return outcome;
}

void fail(const std::string& what, const Outcome& outcome) {
    std::cerr << "BROKEN PROPERTY: " << what << "\nexit status " << outcome.status << ", module "
              << (outcome.created ? "created" : "absent") << ", output:\n"
              << outcome.output.substr(0, 4000) << '\n';
    std::abort();
}

void check_outcome(const Outcome& outcome) {
    if (ends_with(outcome.output, kFatalLine)) fail("fatal stop", outcome);
    if (outcome.status == kExitSuccess) {
        if (!outcome.created) fail("exit status 0 without a module", outcome);
        if (!ends_with(outcome.output, kCreatedEnd)) fail("exit status 0 without the created line", outcome);
        const std::string broken = oxtest::check_module_layout(outcome.module);
        if (!broken.empty()) fail("inconsistent module: " + broken, outcome);
        return;
    }
    if (outcome.status != kExitSourceErrors) fail("unexpected exit status", outcome);
    if (outcome.created) fail("a module left after errors", outcome);
    if (!ends_with_error_count(outcome.output)) fail("errors without the error count line", outcome);
}

Bytes make_bitmap(std::int32_t width, std::int32_t height, std::uint32_t colours_used, std::uint8_t tint) {
    const std::uint32_t colours = colours_used == 0 ? 256 : colours_used;
    const auto stride = static_cast<std::uint32_t>((width + 3) & ~3);
    const std::uint32_t image = stride * static_cast<std::uint32_t>(height);
    const std::uint32_t size = 14 + 40 + 4 * colours + image;
    Bytes b;
    const auto dword = [&b](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    const auto word = [&b](std::uint32_t v) {
        b.push_back(static_cast<unsigned char>(v));
        b.push_back(static_cast<unsigned char>(v >> 8));
    };
    b.push_back('B');
    b.push_back('M');
    dword(size);
    dword(0);
    dword(14 + 40 + 4 * colours);
    dword(40);
    dword(static_cast<std::uint32_t>(width));
    dword(static_cast<std::uint32_t>(height));
    word(1);
    word(8);
    dword(0);
    dword(image);
    dword(2835);
    dword(2835);
    dword(colours_used);
    dword(0);
    for (std::uint32_t i = 0; i < colours; ++i) {
        b.push_back(static_cast<unsigned char>(i * 3 + tint));
        b.push_back(static_cast<unsigned char>(i * 5));
        b.push_back(static_cast<unsigned char>(i * 7 + tint));
        b.push_back(0);
    }
    for (std::uint32_t i = 0; i < image; ++i) b.push_back(static_cast<unsigned char>(i % colours));
    return b;
}

}  // namespace oxfuzz
