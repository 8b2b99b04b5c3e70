#include "support/test_support.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "driver/command_line.hpp"
#include "driver/compiler.hpp"
#include "core/fatal.hpp"
#include "driver/pass.hpp"
#include "driver/spooled_pass.hpp"
#include "support/system.hpp"

#ifdef OXDUMP_BINARY
#include <gtest/gtest.h>

#include "oxdump/oxdump.hpp"
#endif

namespace oxtest {

namespace fs = std::filesystem;

TempDir::TempDir() : TempDir(fs::temp_directory_path()) {}

TempDir::TempDir(const fs::path& parent) : path_(make_unique_directory(parent)) {}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

void write_file(const std::string& path, std::string_view bytes) {
    std::ofstream f(to_path(path), std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

void write_file(const std::string& path, const Bytes& bytes) {
    write_file(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Bytes read_file(const std::string& path) {
    std::ifstream f(to_path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path) { return fs::exists(to_path(path)); }

bool can_create_file_in(const fs::path& dir) {
    const fs::path probe = dir / "oxbuild-test-probe";
    const bool created = std::ofstream(probe).good();
    std::error_code ignored;
    fs::remove(probe, ignored);
    return created;
}

std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        std::string name = fs::relative(entry.path(), dir).string();
        if (entry.is_symlink()) name += " -> " + fs::read_symlink(entry.path()).string();
        entries.push_back(std::move(name));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

RunResult run_binary(const std::vector<std::string>& args, const std::string& cwd,
                     const std::vector<std::string>& env) {
    return run_program(OXBUILD_BINARY, args, cwd, env);
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                      const std::vector<std::string>& env) {
    std::vector<std::string> environment = {"OXBUILD_MESSAGES", "OXBUILD_DEPFILE"};  // unset unless env sets them
    environment.insert(environment.end(), env.begin(), env.end());
    const ProcessRun run = run_process(program, args, cwd, environment);
    RunResult result;
    result.out = lf_lines(run.out);
    result.status = run.status;
    result.raw_out = run.out;
    return result;
}

// Every module a test compiles must also be one the inspector reads.
void expect_inspectable(const Bytes& module) {
#ifdef OXDUMP_BINARY
    std::ostringstream listing;
    std::ostringstream error;
    if (oxdump::dump_module_bytes(module, "module", listing, error) != oxdump::kExitListed)
        ADD_FAILURE() << "the inspector refuses a compiled module: " << error.str();
#else
    (void)module;
#endif
}

Compiled compile_in(const TempDir& dir, std::string_view source, std::string_view name) {
    const std::string source_path = dir / name;
    write_file(source_path, source);
    std::ostringstream out;
    Compiled result;
    result.status = oxbuild::run_compiler({source_path}, out);
    std::string module_path = source_path;
    const auto dot = module_path.rfind('.');
    module_path = module_path.substr(0, dot) + ".oxb";
    result.out = out.str();
    const std::string banner = oxbuild::kBanner;
    if (result.out.compare(0, banner.size(), banner) == 0) result.out.erase(0, banner.size());
    // Messages print the source name as given; tests compare against the bare name.
    const std::string prefix = (dir.path() / "").string();
    for (std::size_t at; (at = result.out.find(prefix)) != std::string::npos;) result.out.erase(at, prefix.size());
    result.module_exists = file_exists(module_path);
    if (result.module_exists) {
        result.module = read_file(module_path);
        expect_inspectable(result.module);
    }
    return result;
}

Compiled compile_source(std::string_view source, std::string_view name) {
    TempDir dir;
    return compile_in(dir, source, name);
}

std::string error_line(std::string_view file, int line, const oxbuild::Message& message, std::string_view detail) {
    std::string s(file);
    s.append("(").append(std::to_string(line)).append("):");
    s.append(message.cp932);
    s += ' ';
    s += detail;
    s += '\n';
    return s;
}

std::string argument_detail(int number) {
    return std::string(oxbuild::msg::argument_detail.cp932) + std::to_string(number);
}

std::string failed_output(std::string_view error_lines, int count) {
    return std::string(error_lines) + "   " + std::to_string(count) +
           std::string(oxbuild::msg::error_count_suffix.cp932) + "\n";
}

std::string created_output(std::string_view module_name) { return "   " + std::string(module_name) + " created\n"; }

ByteWriter& ByteWriter::byte(std::uint32_t v) {
    bytes_.push_back(static_cast<unsigned char>(v & 0xFF));
    return *this;
}
ByteWriter& ByteWriter::word(std::uint32_t v) { return byte(v).byte(v >> 8); }
ByteWriter& ByteWriter::dword(std::uint32_t v) { return word(v).word(v >> 16); }
ByteWriter& ByteWriter::text(std::string_view s) {
    for (const char c : s) byte(static_cast<unsigned char>(c));
    return *this;
}
ByteWriter& ByteWriter::zeros(std::size_t n) {
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
}
ByteWriter& ByteWriter::bytes(const Bytes& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
}

std::uint32_t dword_at(const Bytes& b, std::size_t at) {
    if (at + 4 > b.size()) throw std::out_of_range("dword past the end");
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint16_t word_at(const Bytes& b, std::size_t at) {
    if (at + 2 > b.size()) throw std::out_of_range("word past the end");
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t code_base(const Bytes& module) {
    const std::uint32_t functions = dword_at(module, 232);
    const std::uint32_t event_table = dword_at(module, 168);
    const std::uint32_t events = dword_at(module, event_table);
    std::uint32_t at = event_table + 4 + 4 * events;
    for (std::uint32_t f = 0; f < functions; ++f) at += 32 + 8 * dword_at(module, at + 28);
    return at;
}

Bytes code_area(const Bytes& module) {
    const std::uint32_t base = code_base(module);
    const std::uint32_t end = dword_at(module, 164);
    return Bytes(module.begin() + base, module.begin() + end);
}

std::string hex(const Bytes& b) {
    std::ostringstream s;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i % 16 == 0) s << (i ? "\n" : "") << std::setw(6) << std::setfill('0') << std::hex << i << ":";
        s << ' ' << std::setw(2) << std::setfill('0') << std::hex << static_cast<int>(b[i]);
    }
    return s.str();
}

ProcessRun run_process(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                       const std::vector<std::string>& env) {
    return StartedProcess(program, args, cwd, env).wait();
}

TemporaryDirectoryOverride::TemporaryDirectoryOverride(const std::string& directory) {
    for (const std::string& name : temporary_directory_variables()) {
        saved_.emplace_back(name, get_environment(name.c_str()));
        set_environment(name.c_str(), directory.c_str());
    }
}

TemporaryDirectoryOverride::~TemporaryDirectoryOverride() {
    for (const auto& [name, value] : saved_) set_environment(name.c_str(), value ? value->c_str() : nullptr);
}

}  // namespace oxtest
