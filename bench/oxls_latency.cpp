// How long oxls takes from a change of a document to the diagnostics of
// the new text. Usage:
//   bench_oxls_latency OXLS SOURCE [CHANGES]
// Opens SOURCE (code page 932 bytes sent as they are, so keep it ASCII) in
// the server, then CHANGES times (default 20) inserts an error on a line
// in the middle (or takes it out again) and waits for the published
// diagnostics. Prints the lines, the first compilation's time and the
// median, minimum and maximum latency in milliseconds; then the time each
// request takes on the document (a name in its middle), the slowest of a
// few tries, and whether it stays within 50 ms.
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

// The time of each request on a name in the middle of the document: the
// slowest of kTries.
bool time_requests(Server& s, const std::string& uri, const std::string& source) {
    constexpr int kTries = 3;
    constexpr double kWithin = 50;
    const std::size_t at = source.find("\n    i = ", source.size() / 2);
    if (at == std::string::npos) return false;
    const int line = static_cast<int>(std::count(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(at), '\n')) + 1;
    const std::string doc = R"({"textDocument":{"uri":")" + uri + R"("}})";
    const std::string here = R"("textDocument":{"uri":")" + uri + R"("},"position":{"line":)" + std::to_string(line) +
                             R"(,"character":4})";
    const std::string whole = R"("range":{"start":{"line":0,"character":0},"end":{"line":)" + std::to_string(line * 2) +
                              R"(,"character":0}})";
    const std::string statement = R"("range":{"start":{"line":)" + std::to_string(line) + R"(,"character":0},"end":{"line":)" +
                                  std::to_string(line) + R"(,"character":4}})";
    const std::pair<const char*, std::string> requests[] = {
        {"textDocument/hover", "{" + here + "}"},
        {"textDocument/completion", "{" + here + "}"},
        {"textDocument/signatureHelp", "{" + here + "}"},
        {"textDocument/definition", "{" + here + "}"},
        {"textDocument/references", "{" + here + R"(,"context":{"includeDeclaration":true}})"},
        {"textDocument/documentHighlight", "{" + here + "}"},
        {"textDocument/prepareRename", "{" + here + "}"},
        {"textDocument/rename", "{" + here + R"(,"newName":"renamed"})"},
        {"textDocument/documentSymbol", doc},
        {"workspace/symbol", R"({"query":"work1"})"},
        {"textDocument/semanticTokens/full", doc},
        {"textDocument/foldingRange", doc},
        {"textDocument/inlayHint", R"({"textDocument":{"uri":")" + uri + R"("},)" + whole + "}"},
        {"textDocument/codeAction", R"({"textDocument":{"uri":")" + uri + R"("},)" + statement + R"(,"context":{"diagnostics":[]}})"},
        {"textDocument/formatting", R"({"textDocument":{"uri":")" + uri + R"("},"options":{}})"},
        {"textDocument/rangeFormatting", R"({"textDocument":{"uri":")" + uri + R"("},)" + statement + R"(,"options":{}})"},
    };
    int id = 100;
    for (const auto& [method, params] : requests) {
        double slowest = 0;
        for (int k = 0; k < kTries; ++k) {
            const std::string tag = "\"id\":" + std::to_string(++id) + ",";
            const auto asked = Clock::now();
            send(s, R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method + R"(","params":)" + params + "}");
            if (!wait_for(s, tag)) return false;
            slowest = std::max(slowest, milliseconds_since(asked));
        }
        std::printf("  %-32s %6.1f ms%s\n", method, slowest, slowest <= kWithin ? "" : "  (over 50 ms)");
    }
    return true;
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
    std::sort(times.begin(), times.end());
    std::printf("%d lines, %zu bytes: first diagnostics %.1f ms; after a change median %.1f ms (min %.1f, max %.1f) over %d changes\n",
                lines, source.size(), first, times[times.size() / 2], times.front(), times.back(), changes);
    if (!time_requests(s, uri, source)) return 1;
    send(s, R"({"jsonrpc":"2.0","id":2,"method":"shutdown"})");
    send(s, R"({"jsonrpc":"2.0","method":"exit"})");
    ::waitpid(s.pid, nullptr, 0);
    return 0;
}
