// Drives the built oxls through a pipe, as an editor does: framed JSON-RPC
// messages out, responses and published diagnostics back.
#pragma once

#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "oxls/server_process.hpp"
#include "oxls/transport.hpp"

namespace oxtest {

using json = nlohmann::json;

std::string file_uri(const std::string& path);

class LspClient {
public:
    LspClient();
    LspClient(const LspClient&) = delete;
    LspClient& operator=(const LspClient&) = delete;

    // initialize and initialized; returns the server's capabilities.
    json start(const json& capabilities = json::object());
    // The whole response (result or error) to one request.
    json call(const std::string& method, const json& params);
    json result(const std::string& method, const json& params) { return call(method, params)["result"]; }
    void notify(const std::string& method, const json& params);
    void send_raw(const std::string& bytes);
    // The next message of any kind; null when none came in time.
    json receive();

    void open(const std::string& uri, const std::string& utf8_text);
    // Diagnostics published for the URI (waits until some are, for the
    // first call after a change).
    json diagnostics(const std::string& uri);
    // Waits for the exit status after shutdown and exit.
    int stop();

    static json at(const std::string& uri, int line, int character) {
        return {{"textDocument", {{"uri", uri}}}, {"position", {{"line", line}, {"character", character}}}};
    }

private:
    void keep(const json& message);

    ServerProcess server_;
    oxls::FrameReader frames_;
    int next_id_ = 1;
    std::map<std::string, json> diagnostics_;
};

}  // namespace oxtest
