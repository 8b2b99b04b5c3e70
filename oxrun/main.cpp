// oxrun: runs and tests modules against the model host.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "oxrun/command_line.hpp"
#include "platform/platform.hpp"

int main(int argc, char** argv) {
    oxbuild::platform::prepare_standard_output();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    int status = 0;
    try {
        status = oxrun::run_oxrun(args, std::cin, std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
        std::cerr << "oxrun: out of memory\n";
        status = 2;
    }
    std::cout.flush();
    return status;
}
