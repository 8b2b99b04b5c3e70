// A compile stopped from outside (Ctrl-C, a terminal hung up, a kill, a
// closed pipe) leaves no module behind, so that a build tool does not take
// an empty or cut module for up to date, ends as that interrupt ends a
// program, writes no dependency file and leaves an earlier one as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "driver/command_line.hpp"
#include "support/system.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
namespace fs = std::filesystem;

namespace {

// About 37 MB of functions with loops and calls: it takes a few hundred
// milliseconds to compile, and tens of them to write its module.
std::string large_source() {
    constexpr int kFunctions = 300000;
    std::string s;
    s.reserve(static_cast<std::size_t>(kFunctions) * 128);
    for (int i = 0; i < kFunctions; ++i) {
        s += 'f';
        s += std::to_string(i);
        s += "(int a)\n{\n    int x;\n    x = a * 3 + 1;\n"
             "    while (x > 0) { if (x == 2) { break; } x = x - 1; }\n    MessageBeep(x);\n}\n";
    }
    return s;
}

// When to interrupt: so long after the start, or once the module has its
// first bytes (its final writes have begun).
struct Moment {
    const char* what;
    std::chrono::milliseconds after;
};
constexpr std::chrono::milliseconds kWhenWriting{-1};
const Moment kMoments[] = {
    {"after 30 ms", std::chrono::milliseconds(30)},
    {"after 80 ms", std::chrono::milliseconds(80)},
    {"after 150 ms", std::chrono::milliseconds(150)},
    {"during the final writes", kWhenWriting},
};

void wait_for(StartedProcess& compile, const Moment& moment, const std::string& module) {
    if (moment.after != kWhenWriting) {
        std::this_thread::sleep_for(moment.after);
        return;
    }
    std::error_code no_file;
    while (!compile.finished() && fs::file_size(to_path(module), no_file) == 0) std::this_thread::yield();
}

const std::string kOldRule = "huge.oxb: old.oxs\n";

std::string text_of(const std::string& path) {
    const Bytes bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(Interrupt, AnInterruptedCompileLeavesNoModuleAndNoDependencyFile) {
    TempDir dir;
    write_file(dir / "huge.oxs", large_source());
    const std::string module = dir / "huge.oxb", depfile = dir / "huge.d";
    const std::vector<std::string> env = {"OXBUILD_MESSAGES", "OXBUILD_DEPFILE=huge.d"};
    ASSERT_EQ(run_binary({"huge"}, dir.path().string()).out, std::string(oxbuild::kBanner) + created_output("huge.oxb"));
    const Bytes whole = read_file(module);
    int interrupted = 0;
    for (const Interrupt& interrupt : interrupts()) {
        for (const Moment& moment : kMoments) {
            SCOPED_TRACE(std::string(interrupt.name) + " " + moment.what);
            fs::remove(to_path(module));
            write_file(depfile, kOldRule);
            StartedProcess compile(OXBUILD_BINARY, {"huge"}, dir.path().string(), env);
            wait_for(compile, moment, module);
            if (!compile.interrupt(interrupt)) GTEST_SKIP() << "this system cannot send " << interrupt.name;
            const ProcessRun run = compile.wait();
            if (ended_by(run, interrupt)) {
                ++interrupted;
                EXPECT_FALSE(file_exists(module));
                EXPECT_EQ(text_of(depfile), kOldRule);
                EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"huge.d", "huge.oxs"}));
            } else {
                // It was done before the interrupt came: the whole module.
                EXPECT_EQ(run.status, 0) << run.out;
                EXPECT_TRUE(read_file(module) == whole);
            }
        }
    }
    // Each interrupt lands at 30 ms at least, well before the compile ends.
    EXPECT_GE(interrupted, static_cast<int>(interrupts().size()));
    fs::remove(to_path(module));
    EXPECT_EQ(run_binary({"huge"}, dir.path().string()).status, 0);
    EXPECT_TRUE(read_file(module) == whole);
}
