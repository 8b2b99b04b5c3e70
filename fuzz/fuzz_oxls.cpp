// The language server's message loop on arbitrary bytes: after an
// initialize, the input is a stream of framed messages (or anything at
// all). Every body must get at most one answer per request, each answer
// must be JSON, and nothing may crash or hang.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "oxls/server.hpp"
#include "oxls/transport.hpp"

namespace {

[[noreturn]] void broken(const char* what, const std::string& detail) {
    std::cerr << "BROKEN PROPERTY: " << what << "\n" << detail.substr(0, 4000) << '\n';
    std::abort();
}

constexpr std::string_view kInitialize =
    R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{}}})";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    oxls::Server server([](const std::string& body) {
        if (nlohmann::json::parse(body, nullptr, false).is_discarded()) broken("an answer is no JSON", body);
    });
    server.receive(kInitialize);
    oxls::FrameReader frames;
    frames.feed(std::string_view(reinterpret_cast<const char*>(data), size));
    while (auto body = frames.next()) {
        server.receive(*body);
        if (server.exited()) return 0;
    }
    server.flush();
    return 0;
}
