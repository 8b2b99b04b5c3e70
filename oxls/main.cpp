// oxls: the language server of the module script language, speaking the
// Language Server Protocol over standard input and output.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "oxls/server.hpp"
#include "oxls/transport.hpp"

namespace {

constexpr std::size_t kReadSize = 1 << 16;

void write_all(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the client has gone
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

int main() {
    oxls::Server server([](const std::string& body) { write_all(oxls::frame(body)); }, std::getenv("OXBUILD_MESSAGES"));
    oxls::FrameReader frames;
    std::string chunk(kReadSize, '\0');
    while (true) {
        const ssize_t n = ::read(STDIN_FILENO, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        frames.feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
        // Everything that has arrived first, then one compilation for the lot.
        while (auto body = frames.next()) {
            server.receive(*body);
            if (server.exited()) return server.exit_status();
        }
        if (frames.take_dropped() != 0) std::fputs("oxls: a message over the size limit was dropped\n", stderr);
        server.flush();
    }
    return server.exit_status();
}
