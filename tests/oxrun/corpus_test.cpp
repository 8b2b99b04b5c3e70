// Every source of the compiler's fuzz corpus and every example, compiled
// in memory and run through every event: each is refused with a message,
// or ends normally or with a runtime error, never worse.
#include <gtest/gtest.h>

#include <filesystem>

#include "oxrun/runner.hpp"
#include "run_support.hpp"

namespace {

constexpr std::string_view kEveryEvent =
    "OnClick 1 2 3\nOnDblClick 4 5 6\nOnTargetChanging 1\nOnTargetChanged 2\nOnTargetMoving\nOnTargetMoved\n"
    "OnMenuItemSelected 1 2\nwait 5000\n";

}  // namespace

TEST(OxrunCorpus, EveryCorpusSourceRunsOrIsRefused) {
    const oxrun::Script script = oxrun::parse_script(kEveryEvent, "every.oxt");
    oxrun::RunOptions options;
    options.limits.max_steps = 100'000;
    oxtest::TempDir dir;
    int ran = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(OXRUN_SOURCE_DIR) + "/fuzz/corpus/fuzz_compile")) {
        const std::string copy = dir / (entry.path().filename().string() + ".oxs");
        std::filesystem::copy_file(entry.path(), copy);
        const oxrun::Loaded loaded = oxrun::load_file(copy);
        if (!loaded.program) {
            EXPECT_FALSE(loaded.error.empty()) << copy;
            continue;
        }
        std::ostringstream trace;
        const oxrun::RunOutcome outcome = oxrun::run_program(*loaded.program, copy, script, options, trace);
        EXPECT_TRUE(outcome.status == 0 || (outcome.status == 1 && !outcome.error.empty())) << copy << outcome.error;
        ++ran;
    }
    EXPECT_GT(ran, 5);
}
