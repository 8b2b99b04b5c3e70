// Both passes over one source in process, with the compiler's state left
// for inspection. reading_twice runs pass 1, then pass 2 reading the source
// again, always: what the language tests compare (both passes emit the same
// code). as_driver runs them as the command line does: pass 2 from pass 1's
// spool when the decision allows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/compiler.hpp"
#include "driver/spooled_pass.hpp"
#include "support/test_support.hpp"

namespace oxtest {

enum class PassMode { reading_twice, as_driver };

// What a run is given besides its source, set in a chain:
// PassSetup().in(PassMode::as_driver).file("inc.oxh", "...").
struct PassSetup {
    PassMode mode = PassMode::reading_twice;
    std::vector<std::pair<std::string, std::string>> files;  // placed beside the source first
    std::function<void()> between;                           // runs between the passes
    std::function<void(oxbuild::Compiler&)> after_pass_1;    // runs between the passes, after between
    oxbuild::CompileListener* listener = nullptr;            // hears pass 2
    std::string name = "prog.oxs";
    std::size_t spool_memory = oxbuild::ModuleStream::kSpoolMemory;  // the spool's bytes kept in memory
    std::size_t blocks_kept = oxbuild::BlockRecords::kKept;          // block records pass 1 holds before letting go

    PassSetup& in(PassMode m) { return mode = m, *this; }
    PassSetup& file(std::string file_name, std::string text) {
        files.emplace_back(std::move(file_name), std::move(text));
        return *this;
    }
    PassSetup& changing(std::function<void()> change) { return between = std::move(change), *this; }
    PassSetup& then(std::function<void(oxbuild::Compiler&)> change) { return after_pass_1 = std::move(change), *this; }
    PassSetup& listened_by(oxbuild::CompileListener* l) { return listener = l, *this; }
    PassSetup& spooling_in_memory(std::size_t bytes) { return spool_memory = bytes, *this; }
    PassSetup& keeping_blocks(std::size_t records) { return blocks_kept = records, *this; }
};

class TwoPasses {
public:
    // In a fresh directory of its own.
    explicit TwoPasses(std::string_view source, PassSetup setup = {});
    // In a directory given (resource files may be placed there first).
    TwoPasses(const TempDir& dir, std::string_view source, PassSetup setup = {});
    // The compiler prints into the harness's own stream.
    TwoPasses(const TwoPasses&) = delete;
    TwoPasses& operator=(const TwoPasses&) = delete;

    oxbuild::Compiler& compiler() { return *compiler_; }
    // The error and warning lines, printed by pass 2 only.
    const std::string& out() const { return out_; }
    int errors() const { return compiler_->diag.error_count(); }
    bool fatal() const { return fatal_; }
    // as_driver: why pass 2 came from the spool or read the source again.
    std::optional<oxbuild::SpoolDecision> decision() const { return decision_; }
    // The module's bytes; empty after a fatal stop.
    const Bytes& module() const { return module_bytes_; }
    // The code size that pass 1 counted and the code bytes that pass 2 wrote.
    std::int64_t pass1_code_size() const { return compiler_->run.code_size; }
    std::int64_t pass2_code_size() const { return pass2_code_size_; }
    std::int64_t counter_after_pass2() const { return counter_after_pass2_; }

private:
    void run(const TempDir& dir, std::string_view source, const PassSetup& setup);

    std::unique_ptr<TempDir> own_dir_;
    std::ostringstream stream_;
    std::unique_ptr<oxbuild::Compiler> compiler_;
    std::string out_;
    bool fatal_ = false;
    std::optional<oxbuild::SpoolDecision> decision_;
    Bytes module_bytes_;
    std::int64_t pass2_code_size_ = 0;
    std::int64_t counter_after_pass2_ = 0;
};

// Compares two modules byte for byte; when they differ, the failure shows
// where, and both modules as the inspector lists them, so that the reader
// sees which statement moved. EXPECT_TRUE(same_module(made, expected)).
::testing::AssertionResult same_module(const Bytes& actual, const Bytes& expected);

}  // namespace oxtest
