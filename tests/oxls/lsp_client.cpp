#include "oxls/lsp_client.hpp"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace oxtest {

namespace {

constexpr int kWaitMilliseconds = 20000;

void write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("oxls stopped reading");
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string file_uri(const std::string& path) { return "file://" + path; }

LspClient::LspClient() {
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        for (const int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
        ::execl(OXLS_BINARY, OXLS_BINARY, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    to_server_ = in[1];
    from_server_ = out[0];
}

LspClient::~LspClient() {
    if (to_server_ >= 0) ::close(to_server_);
    if (from_server_ >= 0) ::close(from_server_);
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

json LspClient::start(const json& capabilities) {
    const json reply = result("initialize", {{"processId", nullptr}, {"rootUri", nullptr}, {"capabilities", capabilities}});
    notify("initialized", json::object());
    return reply["capabilities"];
}

void LspClient::send_raw(const std::string& bytes) { write_all(to_server_, bytes); }

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
        pollfd p{from_server_, POLLIN, 0};
        if (::poll(&p, 1, kWaitMilliseconds) <= 0) return nullptr;
        char chunk[65536];
        const ssize_t n = ::read(from_server_, chunk, sizeof chunk);
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
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace oxtest
