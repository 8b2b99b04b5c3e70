// Tests for authors: every test script found (a script that names its
// program, NAME.oxt) runs, and its trace is compared with the expected
// trace stored beside it (NAME.trace), or written there with --update.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "oxrun/runner.hpp"

namespace oxrun {

inline constexpr std::string_view kScriptExtension = ".oxt";
inline constexpr std::string_view kExpectedExtension = ".trace";

struct TestResult {
    std::string name;      // the script's path as found
    bool passed = false;
    bool updated = false;  // --update wrote its expected trace
    std::string diff;      // unified diff, expected to actual; or why it could not run
};

// Script files under the paths (files as given, folders searched through),
// sorted; a file that does not exist is reported in missing.
std::vector<std::string> find_test_scripts(const std::vector<std::string>& paths, std::vector<std::string>& missing);

// Whether the script names its program: only those are tests.
bool is_test_script(const std::string& path);

// The trace of a test: the run's lines, then "runtime error: ..." or
// "refused: ..." when it ended so.
std::string test_trace(const std::string& script_path, const RunOptions& options);

TestResult run_test(const std::string& script_path, const RunOptions& options, bool update);

// Lines of a and b as a unified diff with three lines of context; "" when equal.
std::string unified_diff(const std::string& a, const std::string& b, const std::string& a_name,
                         const std::string& b_name);

// Reports: a line per test and the closing count; TAP; JUnit XML.
void write_plain_report(const std::vector<TestResult>& results, std::ostream& out);
void write_tap_report(const std::vector<TestResult>& results, std::ostream& out);
std::string junit_report(const std::vector<TestResult>& results);

}  // namespace oxrun
