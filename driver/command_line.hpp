// The driver: the command line, the file names, the two passes and the
// result. Exit statuses: 0 after a compilation without errors and after the
// usage line, 1 when the source has errors, -1 (255 on POSIX systems) for
// command-line and file-opening failures, a dependency file that cannot be
// written and the fatal stop.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/messages.hpp"
#include "platform/platform.hpp"

namespace oxbuild {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitSourceErrors = 1;
inline constexpr int kExitFailure = platform::kFailureStatus;

inline constexpr char kBanner[] = "Ombrix Module compiler   Version 1.4.0\n";
inline constexpr char kUsage[] = "   oxbuild  /option fileneme\n";

struct DriverOptions {
    MessageStyle messages = MessageStyle::cp932;  // OXBUILD_MESSAGES
    std::string dependency_file;                   // OXBUILD_DEPFILE; empty for none
};

// The style OXBUILD_MESSAGES asks for: "utf-8" or "en", in any case; any
// other value, or none, keeps code page 932.
MessageStyle message_style(const char* value);

// Runs the compiler on the arguments (without the program name), writing
// everything it prints to out; returns the exit status.
int run_compiler(const std::vector<std::string>& args, std::ostream& out, const DriverOptions& options = {});

}  // namespace oxbuild
