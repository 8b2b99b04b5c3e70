// oxbuild: compiles one source file into one module file.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "driver/command_line.hpp"
#include "platform/platform.hpp"

int main(int argc, char** argv) {
    oxbuild::platform::prepare_standard_output();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    oxbuild::DriverOptions options;
    options.messages = oxbuild::message_style(std::getenv("OXBUILD_MESSAGES"));
    if (const char* depfile = std::getenv("OXBUILD_DEPFILE")) options.dependency_file = depfile;
    const int status = oxbuild::run_compiler(args, std::cout, options);
    std::cout.flush();
    return status;
}
