// oxdump: lists what a module file holds and extracts its resources.
#include <iostream>
#include <string>
#include <vector>

#include "oxdump/oxdump.hpp"
#include "platform/platform.hpp"

int main(int argc, char** argv) {
    oxbuild::platform::prepare_standard_output();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int status = oxdump::run_oxdump(args, std::cout, std::cerr);
    std::cout.flush();
    return std::cout ? status : oxdump::kExitTrouble;
}
