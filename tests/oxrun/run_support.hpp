// Running programs under oxrun for the tests: in process through the
// command line, or as the built binary in a directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.hpp"

namespace oxruntest {

// An include file of the line and debugger tests: bump adds by to n.
inline constexpr std::string_view kBumpLibrary =
    "bump(int & n, int by)\n"  // 1
    "{\n"                      // 2
    "    n = n + by;\n"        // 3
    "}\n";                     // 4

struct Result {
    std::string out;  // the trace
    std::string err;
    int status = 0;
};

// Writes prog.oxs (and, when given, s.oxt) into the directory and runs
// oxrun on them with the options, in process.
Result run_source(const oxtest::TempDir& dir, std::string_view source, std::string_view script = "",
               const std::vector<std::string>& options = {});
Result run_source(std::string_view source, std::string_view script = "", const std::vector<std::string>& options = {});

// The built oxrun in the directory.
Result run_binary(const std::vector<std::string>& args, const std::string& cwd);

// The trace of a source whose OnLoad body is body (after the declarations
// decls), OnLoad's own lines left out: the lines between them.
std::string onload_calls(std::string_view decls, std::string_view body, const std::vector<std::string>& options = {});

}  // namespace oxruntest
