// oxfmt: lays module sources out in the one style of the language, reading
// them with the compiler itself.
//   oxfmt [-w | --check] [FILE]...
// prints each file formatted (with no FILE, standard input), writes it back
// (-w), or prints a unified diff for each file that is not formatted and
// exits 1 (--check). A source with errors or warnings is refused with the
// compiler's messages (exit 2), and so is a file that cannot be read or
// written.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "driver/command_line.hpp"
#include "oxfmt/diff.hpp"
#include "oxfmt/format.hpp"
#include "platform/platform.hpp"
#include "resources/binary_file.hpp"

namespace {

constexpr int kFormatted = 0;
constexpr int kNotFormatted = 1;  // --check found a file to change
constexpr int kRefused = 2;       // a wrong command line, a file unread or unwritten, a source not clean
constexpr char kStandardInput[] = "<standard input>";
constexpr char kUsage[] =
    "usage: oxfmt [-w | --check] [FILE]...\n"
    "       oxfmt --help | --version\n"
    "  prints each FILE formatted (no FILE: standard input)\n"
    "  -w       writes each FILE back, formatted\n"
    "  --check  prints a diff for each FILE not formatted, and exits 1\n";

enum class Mode { print, write, check };

struct Options {
    Mode mode = Mode::print;
    std::vector<std::string> files;
};

void put(std::FILE* stream, const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stream); }

// Options first or between the files; "--" ends them.
bool parse(int argc, char** argv, Options& options) {
    bool files_only = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (files_only || arg.empty() || arg[0] != '-') options.files.push_back(arg);
        else if (arg == "--") files_only = true;
        else if (arg == "-w" && options.mode != Mode::check) options.mode = Mode::write;
        else if (arg == "--check" && options.mode != Mode::write) options.mode = Mode::check;
        else return false;
    }
    return !(options.mode == Mode::write && options.files.empty());
}

// nullopt for standard input.
using FileName = std::optional<std::string>;

std::optional<std::string> read_input(const FileName& file) {
    if (!file) return std::string(std::istreambuf_iterator<char>(std::cin), {});
    return oxbuild::read_whole_text(oxbuild::platform::system_name(*file));
}

// One file as the mode asks; the exit status it earns.
int run_one(const FileName& file, Mode mode, oxbuild::MessageStyle style) {
    const std::string shown = file ? *file : kStandardInput;
    const auto source = read_input(file);
    if (!source) {
        put(stderr, "oxfmt: cannot read " + shown + "\n");
        return kRefused;
    }
    const std::string path = file ? oxbuild::platform::system_name(*file) : std::string();
    const oxfmt::Formatted f = oxfmt::format_source(path, shown, *source, nullptr, style);
    if (f.status == oxfmt::Formatted::Status::refused) {
        put(stderr, f.messages);
        put(stderr, "oxfmt: " + shown + " is not formatted: the compiler reports the lines above\n");
        return kRefused;
    }
    if (f.status == oxfmt::Formatted::Status::failed) {
        put(stderr, "oxfmt: " + shown + " is not formatted: " + f.messages + "\n");
        return kRefused;
    }
    if (mode == Mode::print) put(stdout, f.text);
    if (mode == Mode::check && f.text != *source) {
        put(stdout, oxfmt::unified_diff(*source, f.text, shown, shown + " (formatted)"));
        return kNotFormatted;
    }
    if (mode == Mode::write && f.text != *source && !oxbuild::platform::replace_file(path, f.text)) {
        put(stderr, "oxfmt: cannot write " + shown + "\n");
        return kRefused;
    }
    return kFormatted;
}

}  // namespace

int main(int argc, char** argv) {
    oxbuild::platform::binary_standard_streams();
    Options options;
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        put(stdout, kUsage);
        return kFormatted;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        put(stdout, "oxfmt " OXFMT_VERSION "\n");
        return kFormatted;
    }
    if (!parse(argc, argv, options)) {
        put(stderr, kUsage);
        return kRefused;
    }
    const oxbuild::MessageStyle style = oxbuild::message_style(std::getenv("OXBUILD_MESSAGES"));
    if (options.files.empty()) return run_one(std::nullopt, options.mode, style);
    int status = kFormatted;
    for (const std::string& file : options.files) status = std::max(status, run_one(file, options.mode, style));
    return status;
}
