// The one way out when the system itself fails (memory, unreadable files,
// a module that cannot be written). Errors in the source never come here.
#pragma once

#include <stdexcept>
#include <string>

namespace oxbuild {

// Thrown by fatal_stop and caught by the driver, which closes both files,
// deletes the partial module, prints "   Fatal Error" and exits with -1.
class FatalStop : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fatal_stop(const std::string& why) { throw FatalStop(why); }

}  // namespace oxbuild
