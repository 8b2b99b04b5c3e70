#include "oxdump/oxdump.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>

#include "oxdump/extract.hpp"
#include "oxdump/module_reader.hpp"
#include "oxdump/printer.hpp"
#include "sourcemap/source_map.hpp"

#ifndef OXDUMP_VERSION
#define OXDUMP_VERSION "unknown"
#endif

namespace oxdump {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUsage = "usage: oxdump [--extract DIR] [--source SOURCE] MODULE\n";
constexpr std::string_view kExtractOption = "--extract";
constexpr std::string_view kSourceOption = "--source";
// Stored offsets are 32-bit, so no module is larger.
constexpr std::uintmax_t kLargestModule = std::uintmax_t{1} << 32;

struct Options {
    bool help = false;
    bool version = false;
    std::optional<std::string> extract_dir;
    std::optional<std::string> source;
    std::string module;
};

// Records what is wrong, for the caller to print; gives nothing.
std::nullopt_t refuse(std::string& problem, std::string what) {
    problem = std::move(what);
    return std::nullopt;
}

// Returns the options, or nothing with the problem set.
std::optional<Options> parse_options(const std::vector<std::string>& args, std::string& problem) {
    Options o;
    std::vector<std::string> names;
    bool options_end = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options_end || a.empty() || a[0] != '-' || a == "-")
            names.push_back(a);
        else if (a == "--")
            options_end = true;
        else if (a == "--help" || a == "-h")
            o.help = true;
        else if (a == "--version")
            o.version = true;
        else if (a == kExtractOption) {
            if (i + 1 == args.size()) return refuse(problem, "--extract needs a directory");
            o.extract_dir = args[++i];
        } else if (a.starts_with(std::string(kExtractOption) + "="))
            o.extract_dir = a.substr(kExtractOption.size() + 1);
        else if (a == kSourceOption) {
            if (i + 1 == args.size()) return refuse(problem, "--source needs a source file");
            o.source = args[++i];
        } else if (a.starts_with(std::string(kSourceOption) + "="))
            o.source = a.substr(kSourceOption.size() + 1);
        else
            return refuse(problem, "unknown option " + a);
    }
    if (o.help || o.version) return o;
    if (names.size() != 1) return refuse(problem, names.empty() ? "no module given" : "more than one module given");
    o.module = names.front();
    return o;
}

std::optional<std::vector<std::uint8_t>> read_file(const std::string& path, std::string& problem) {
    std::error_code error;
    if (fs::is_directory(path, error)) return refuse(problem, "is a directory");
    const auto size = fs::file_size(path, error);
    if (error) return refuse(problem, error.message());
    if (size > kLargestModule) return refuse(problem, "larger than any module can be");
    std::ifstream in(path, std::ios::binary);
    if (!in) return refuse(problem, std::strerror(errno));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in || in.gcount() != static_cast<std::streamsize>(bytes.size())) return refuse(problem, "cannot be read");
    return bytes;
}

std::optional<Module> read_checked(std::span<const std::uint8_t> bytes, std::string_view name, std::ostream& err) {
    try {
        return read_module(bytes);
    } catch (const FormatError& e) {
        err << "oxdump: " << name << ": offset " << e.offset() << ": " << e.what() << '\n';
        return std::nullopt;
    }
}

// The source compiled in memory, when it compiles to exactly the module;
// otherwise nothing, with the reason on err.
std::shared_ptr<sourcemap::SourceMap> map_of_source(const std::string& source, std::span<const std::uint8_t> module,
                                                    const std::string& module_name, std::ostream& err) {
    sourcemap::CompiledSource compiled = sourcemap::compile_source(source, source);
    if (!compiled.opened) {
        err << "oxdump: " << source << ": cannot be read\n";
    } else if (compiled.errors != 0) {
        err << compiled.messages << "oxdump: " << source << ": does not compile\n";
    } else if (!sourcemap::same_module(compiled, module)) {
        err << "oxdump: " << module_name << ": is not the module that " << source << " compiles to\n";
    } else {
        return std::move(compiled.map);
    }
    return nullptr;
}

// The command line, once the options are read; bad_alloc is left to the
// caller.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string problem;
    const auto options = parse_options(args, problem);
    if (!options) {
        err << "oxdump: " << problem << '\n' << kUsage;
        return kExitTrouble;
    }
    if (options->help) {
        out << kUsage;
        return kExitListed;
    }
    if (options->version) {
        out << "oxdump " << OXDUMP_VERSION << '\n';
        return kExitListed;
    }
    const auto bytes = read_file(options->module, problem);
    if (!bytes) {
        err << "oxdump: " << options->module << ": " << problem << '\n';
        return kExitTrouble;
    }
    const auto module = read_checked(*bytes, options->module, err);
    if (!module) return kExitBadModule;
    std::shared_ptr<sourcemap::SourceMap> map;
    if (options->source) {
        map = map_of_source(*options->source, *bytes, options->module, err);
        if (!map) return kExitTrouble;
    }
    print_module(*module, options->module, out, map.get());
    if (!options->extract_dir) return kExitListed;
    try {
        for (const fs::path& path : extract_resources(*module, *bytes, *options->extract_dir))
            out << "extracted " << path.string() << '\n';
    } catch (const std::runtime_error& e) {
        err << "oxdump: " << e.what() << '\n';
        return kExitTrouble;
    }
    return kExitListed;
}

}  // namespace

int dump_module_bytes(std::span<const std::uint8_t> bytes, std::string_view name, std::ostream& out,
                      std::ostream& err) {
    const auto module = read_checked(bytes, name, err);
    if (!module) return kExitBadModule;
    print_module(*module, name, out);
    return kExitListed;
}

int run_oxdump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        return run(args, out, err);
    } catch (const std::bad_alloc&) {
        err << "oxdump: out of memory\n";
        return kExitTrouble;
    }
}

}  // namespace oxdump
