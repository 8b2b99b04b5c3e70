// How long oxls takes from a change of a document to the diagnostics of
// the new text. Usage:
//   bench_oxls_latency OXLS SOURCE [CHANGES]
// Opens SOURCE (code page 932 bytes sent as they are, so keep it ASCII) in
// the server, then CHANGES times (default 20) inserts an error on a line
// in the middle (or takes it out again) and waits for the published
// diagnostics. Prints the lines, the first compilation's time and the
// median, minimum and maximum latency in milliseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "oxls/transport.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDefaultChanges = 20;
constexpr int kWaitMilliseconds = 30000;

struct Server {
    pid_t pid;
    int in;
    int out;
    oxls::FrameReader frames;
};

Server start(const char* path) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) std::exit(1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        for (const int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
        ::execl(path, path, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    return {pid, in[1], out[0], {}};
}

void send(Server& s, const std::string& body) {
    const std::string message = oxls::frame(body);
    for (std::size_t done = 0; done < message.size();) {
        const ssize_t n = ::write(s.in, message.data() + done, message.size() - done);
        if (n <= 0) std::exit(1);
        done += static_cast<std::size_t>(n);
    }
}

// Reads messages until one holds the text; false on a time-out.
bool wait_for(Server& s, const std::string& text) {
    while (true) {
        while (const auto body = s.frames.next())
            if (body->find(text) != std::string::npos) return true;
        pollfd p{s.out, POLLIN, 0};
        if (::poll(&p, 1, kWaitMilliseconds) <= 0) return false;
        char chunk[65536];
        const ssize_t n = ::read(s.out, chunk, sizeof chunk);
        if (n <= 0) return false;
        s.frames.feed({chunk, static_cast<std::size_t>(n)});
    }
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out + "\"";
}

double milliseconds_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OXLS SOURCE [CHANGES]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string source = text.str();
    const int lines = static_cast<int>(std::count(source.begin(), source.end(), '\n'));
    const int changes = argc > 3 ? std::atoi(argv[3]) : kDefaultChanges;
    const std::string uri = "file:///tmp/oxls-latency.oxs";

    Server s = start(argv[1]);
    send(s, R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}})");
    if (!wait_for(s, "\"id\":1")) return 1;
    const auto opened = Clock::now();
    send(s, R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":")" + uri +
                R"(","languageId":"oxs","version":1,"text":)" + json_string(source) + "}}}");
    if (!wait_for(s, "publishDiagnostics")) return 1;
    const double first = milliseconds_since(opened);

    // An undeclared name at the start of a line in the middle, then gone again.
    std::vector<double> times;
    const int line = lines / 2;
    for (int i = 0; i < changes; ++i) {
        const bool insert = i % 2 == 0;
        const std::string range = R"({"start":{"line":)" + std::to_string(line) + R"(,"character":0},"end":{"line":)" +
                                  std::to_string(line) + R"(,"character":)" + (insert ? "0" : "1") + "}}";
        const auto changed = Clock::now();
        send(s, R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":")" + uri +
                    R"(","version":)" + std::to_string(i + 2) + R"(},"contentChanges":[{"range":)" + range +
                    R"(,"text":)" + (insert ? "\"$\"" : "\"\"") + "}]}}");
        if (!wait_for(s, "publishDiagnostics")) return 1;
        times.push_back(milliseconds_since(changed));
    }
    send(s, R"({"jsonrpc":"2.0","id":2,"method":"shutdown"})");
    send(s, R"({"jsonrpc":"2.0","method":"exit"})");
    ::waitpid(s.pid, nullptr, 0);
    std::sort(times.begin(), times.end());
    std::printf("%d lines, %zu bytes: first diagnostics %.1f ms; after a change median %.1f ms (min %.1f, max %.1f) over %d changes\n",
                lines, source.size(), first, times[times.size() / 2], times.front(), times.back(), changes);
    return 0;
}
