#include "oxls/lsp_client.hpp"

#include <algorithm>

namespace oxtest {

namespace {

constexpr int kWaitMilliseconds = 20000;

}  // namespace

// A drive's path as file:///C:/dir.
std::string file_uri(const std::string& path) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    std::string uri = p.size() >= 2 && p[1] == ':' ? "file:///" : "file://";
    return uri.append(p);
}

LspClient::LspClient() : server_(OXLS_BINARY) {}

json LspClient::start(const json& capabilities) {
    const json reply = result("initialize", {{"processId", nullptr}, {"rootUri", nullptr}, {"capabilities", capabilities}});
    notify("initialized", json::object());
    return reply["capabilities"];
}

void LspClient::send_raw(const std::string& bytes) { server_.write(bytes); }

void LspClient::notify(const std::string& method, const json& params) {
    const std::string body = json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump();
    send_raw(oxls::frame(body));
}

json LspClient::call(const std::string& method, const json& params) {
    const int id = next_id_++;
    const std::string body = json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump();
    send_raw(oxls::frame(body));
    while (true) {
        const json message = receive();
        if (message.is_null()) return json{{"error", "no response in time"}};
        if (message.contains("id") && message["id"] == id) return message;
    }
}

json LspClient::receive() {
    while (true) {
        if (const auto body = frames_.next()) {
            json message = json::parse(*body);
            keep(message);
            return message;
        }
        char chunk[65536];
        const long n = server_.read_some(chunk, sizeof chunk, kWaitMilliseconds);
        if (n <= 0) return nullptr;
        frames_.feed({chunk, static_cast<std::size_t>(n)});
    }
}

void LspClient::keep(const json& message) {
    if (message.value("method", "") == "textDocument/publishDiagnostics")
        diagnostics_[message["params"]["uri"]] = message["params"]["diagnostics"];
}

void LspClient::open(const std::string& uri, const std::string& utf8_text) {
    diagnostics_.erase(uri);
    notify("textDocument/didOpen",
           {{"textDocument", {{"uri", uri}, {"languageId", "oxs"}, {"version", 1}, {"text", utf8_text}}}});
}

json LspClient::diagnostics(const std::string& uri) {
    // A request answered after the notifications the server sent before it.
    (void)call("textDocument/documentSymbol", {{"textDocument", {{"uri", uri}}}});
    const auto found = diagnostics_.find(uri);
    return found == diagnostics_.end() ? json::array() : found->second;
}

int LspClient::stop() {
    (void)call("shutdown", nullptr);
    notify("exit", nullptr);
    return server_.wait();
}

}  // namespace oxtest
