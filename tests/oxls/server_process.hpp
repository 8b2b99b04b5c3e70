// The built oxls as a child process with pipes for its standard input and
// output, one implementation per system (server_process_posix.cpp,
// server_process_windows.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace oxtest {

class ServerProcess {
public:
    // Starts the program, with one argument when it is given; throws when
    // it cannot.
    explicit ServerProcess(const std::string& program, const std::string& argument = "");
    ~ServerProcess();  // kills it if it still runs
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Throws when the server reads no more.
    void write(const std::string& bytes);
    // Up to size bytes as they come: how many, 0 at the end of its output,
    // -1 when none came within the milliseconds.
    long read_some(char* data, std::size_t size, int milliseconds);
    // Closes its input and waits for its exit status.
    int wait();

private:
    struct Handles;
    std::unique_ptr<Handles> h_;
};

}  // namespace oxtest
