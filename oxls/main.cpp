// oxls: the language server of the module script language, speaking the
// Language Server Protocol over standard input and output.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "oxls/server.hpp"
#include "oxls/transport.hpp"
#include "platform/platform.hpp"

namespace {

constexpr std::size_t kReadSize = 1 << 16;

void write_all(const std::string& bytes) {
    // A client that has gone reads nothing more; the loop ends at its input's end.
    (void)oxbuild::platform::write_standard_output(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

}  // namespace

int main() {
    oxbuild::platform::binary_standard_streams();
    oxls::Server server([](const std::string& body) { write_all(oxls::frame(body)); }, std::getenv("OXBUILD_MESSAGES"));
    oxls::FrameReader frames;
    std::string chunk(kReadSize, '\0');
    while (true) {
        const std::int64_t n =
            oxbuild::platform::read_standard_input(reinterpret_cast<unsigned char*>(chunk.data()), chunk.size());
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
