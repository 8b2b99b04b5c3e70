// Files that are not what the compiler expects: includes nested at and past
// their limits, files that include themselves, directories, devices and
// pipes given as includes or resources, and bitmaps with absurd headers.
// (Sources and modules that cannot be opened are command-line tests.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
