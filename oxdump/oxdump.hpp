// The inspector's command line, runnable in process:
//   oxdump [--extract DIR] [--source SOURCE] MODULE
// Exit statuses: 0 listed (and extracted); 1 the file is not a valid
// module; 2 a wrong command line, a file that cannot be read, resources
// that cannot be written, or a source that does not compile to the module.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace oxdump {

inline constexpr int kExitListed = 0;
inline constexpr int kExitBadModule = 1;
inline constexpr int kExitTrouble = 2;

// Runs oxdump on the arguments (without the program name): the listing goes
// to out, every message to err. Returns the exit status.
int run_oxdump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Lists a module held in memory; a bad module gets its one-line message on
// err. Returns kExitListed or kExitBadModule.
int dump_module_bytes(std::span<const std::uint8_t> bytes, std::string_view name, std::ostream& out, std::ostream& err);

}  // namespace oxdump
