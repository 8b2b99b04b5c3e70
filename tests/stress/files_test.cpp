// Files that are not what the compiler expects: includes nested at and past
// their limits, files that include themselves, directories, devices and
// pipes given as sources, includes or resources, bitmaps with absurd
// headers, and a module that cannot be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "driver/command_line.hpp"
#include "resources/directives.hpp"
#include "stress/stress_support.hpp"
#include "support/resource_files.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace fs = std::filesystem;

namespace {

std::string include_name(int n) { return "inc" + std::to_string(n) + ".oxs"; }

// inc1.oxs includes inc2.oxs and so on; the last one declares a variable.
void write_include_chain(const TempDir& dir, int files) {
    for (int n = 1; n < files; ++n) write_file(dir / include_name(n), "#include \"" + include_name(n + 1) + "\"\n");
    write_file(dir / include_name(files), "int deepest;\n");
}

// The compiler run in process on a source name in a directory, as the
// command line gives it.
struct DriverRun {
    int status;
    std::string out;
};
DriverRun run_on(const std::string& source_path) {
    std::ostringstream out;
    const int status = run_compiler({source_path}, out);
    std::string text = out.str();
    text.erase(0, std::string(kBanner).size());
    return {status, text};
}

}  // namespace

TEST(StressFiles, SixtyFourNestedIncludesCompile) {
    TempDir dir;
    write_include_chain(dir, 64);
    expect_created(compile_in(dir, "#include \"inc1.oxs\"\nf() { deepest = 1; }\n"));
}

TEST(StressFiles, The65thNestedIncludeIsNotOpened) {
    TempDir dir;
    write_include_chain(dir, 65);
    const Compiled result = compile_in(dir, "#include \"inc1.oxs\"\n");
    expect_failed(result, error_line(include_name(64), 1, msg::include_not_found, ": " + include_name(65)), 1);
}

TEST(StressFiles, SelfIncludingFileStopsAtTheDepthLimit) {
    const Compiled result = compile_source("#include \"prog.oxs\"\n");
    expect_failed(result, error_line("prog.oxs", 1, msg::include_not_found, ": prog.oxs"), 1);
}

TEST(StressFiles, TwoSelfIncludesStopAtTheIncludeFileLimit) {
    // Each file read tries two includes: every try opens a file or fails,
    // so the failures are twice the files read (the main one too) less the
    // files opened. Without a total limit this would open 2^64 files.
    const Deadline deadline(60);
    const Compiled result = compile_source("#include \"prog.oxs\"\n#include \"prog.oxs\"\n");
    const int failures = 2 * (kMaxIncludeFiles + 1) - kMaxIncludeFiles;
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(result.module_exists);
    EXPECT_TRUE(result.out.ends_with("   " + std::to_string(failures) + std::string(msg::error_count_suffix.cp932) + "\n"));
}

TEST(StressFiles, DirectoriesGivenAsIncludeOrResourcesAreNotFound) {
    TempDir dir;
    for (const char* name : {"inc.oxs", "pic.bmp", "snd.wav"}) fs::create_directory(dir / name);
    const Compiled result = compile_in(dir, "#include \"inc.oxs\"\n#bitmap 1 \"pic.bmp\" 0\n#wave 1 \"snd.wav\"\n");
    expect_failed(result,
                  error_line("prog.oxs", 1, msg::include_not_found, ": inc.oxs") +
                      error_line("prog.oxs", 2, msg::bitmap_not_found, ": pic.bmp") +
                      error_line("prog.oxs", 3, msg::wave_not_found, ": snd.wav"),
                  3);
}

TEST(StressFiles, IncludeOfADeviceIsRefusedInsteadOfReadForever) {
    const Deadline deadline(60);
    for (const std::string& device : device_names()) {
        expect_failed(compile_source("#include \"" + device + "\"\n#bitmap 1 \"" + device + "\" 0\n#wave 1 \"" +
                                     device + "\"\n"),
                      error_line("prog.oxs", 1, msg::include_not_found, ": " + device) +
                          error_line("prog.oxs", 2, msg::bitmap_not_found, ": " + device) +
                          error_line("prog.oxs", 3, msg::wave_not_found, ": " + device),
                      3);
    }
}

TEST(StressFiles, FifoGivenAsIncludeOrResourceIsRefusedWithoutBlocking) {
    TempDir dir;
    for (const char* name : {"inc.oxs", "pic.bmp", "snd.wav"})
        if (!make_fifo(dir / name)) GTEST_SKIP() << "no FIFOs on this system (its pipes are devices)";
    const Deadline deadline(60);
    const Compiled result = compile_in(dir, "#include \"inc.oxs\"\n#bitmap 1 \"pic.bmp\" 0\n#wave 1 \"snd.wav\"\n");
    expect_failed(result,
                  error_line("prog.oxs", 1, msg::include_not_found, ": inc.oxs") +
                      error_line("prog.oxs", 2, msg::bitmap_not_found, ": pic.bmp") +
                      error_line("prog.oxs", 3, msg::wave_not_found, ": snd.wav"),
                  3);
}

TEST(StressFiles, BitmapClaimingFourMillionColoursIsRefused) {
    TempDir dir;
    write_bmp(dir / "big.bmp", {.width = 2, .height = 2, .colours_used = 4000000, .pixels = Bytes(8, 1)});
    expect_failed(compile_in(dir, "#bitmap 1 \"big.bmp\" 0\n"),
                  error_line("prog.oxs", 1, msg::bitmap_malformed, ": big.bmp"), 1);
}

TEST(StressFiles, SourceThatIsADirectoryIsNotFound) {
    TempDir dir;
    fs::create_directory(dir / "src.oxs");
    const DriverRun run = run_on(dir / "src.oxs");
    EXPECT_EQ(run.out, std::string(msg::source_not_found.cp932) + "\n");
    EXPECT_EQ(run.status, kExitFailure);
    EXPECT_FALSE(file_exists(dir / "src.oxb"));
}

TEST(StressFiles, ModuleThatCannotBeCreatedIsReported) {
    TempDir dir;
    write_file(dir / "prog.oxs", "int x;\n");
    fs::create_directory(dir / "prog.oxb");  // refused even for root
    const DriverRun run = run_on(dir / "prog.oxs");
    EXPECT_EQ(run.out, std::string(msg::module_not_opened.cp932) + "\n");
    EXPECT_EQ(run.status, kExitFailure);
}

// The module cannot be created: for users other than root because the
// directory is read-only; for every user because its name is longer than a
// file name may be (the source "NAME." has 255 bytes, NAME.oxb 258). Either
// way the message, and the directory holds the source alone.
TEST(StressFiles, ModuleThatCannotBeCreatedLeavesOnlyTheSource) {
    if (on_windows()) GTEST_SKIP() << "POSIX only: read-only directories and names of 255 bytes in a deep directory";
    constexpr std::size_t kLongestFileName = 255;
    struct Row {
        const char* what;
        std::string source;
        bool read_only;
    };
    const Row rows[] = {
        {"read-only directory", "prog.oxs", true},
        {"module name too long", std::string(kLongestFileName - 1, 'p') + ".", false},
    };
    for (const Row& row : rows) {
        TempDir dir;
        write_file(dir / row.source, "int x;\n");
        if (row.read_only) {
            fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
            if (can_create_file_in(dir.path())) continue;  // root writes in any directory
        }
        const DriverRun run = run_on(dir / row.source);
        EXPECT_EQ(run.out, std::string(msg::module_not_opened.cp932) + "\n") << row.what;
        EXPECT_EQ(run.status, kExitFailure) << row.what;
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{row.source}) << row.what;
    }
}
