#include "oxls/server_process.hpp"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace oxtest {

struct ServerProcess::Handles {
    pid_t pid = -1;
    int to_server = -1;
    int from_server = -1;
};

ServerProcess::ServerProcess(const std::string& program, const std::string& argument)
    : h_(std::make_unique<Handles>()) {
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) throw std::runtime_error("pipe failed");
    h_->pid = ::fork();
    if (h_->pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        for (const int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
        if (argument.empty()) ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        else ::execl(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    h_->to_server = in[1];
    h_->from_server = out[0];
}

ServerProcess::~ServerProcess() {
    if (h_->to_server >= 0) ::close(h_->to_server);
    if (h_->from_server >= 0) ::close(h_->from_server);
    if (h_->pid > 0) {
        ::kill(h_->pid, SIGKILL);
        ::waitpid(h_->pid, nullptr, 0);
    }
}

void ServerProcess::write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(h_->to_server, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("oxls stopped reading");
        done += static_cast<std::size_t>(n);
    }
}

long ServerProcess::read_some(char* data, std::size_t size, int milliseconds) {
    pollfd p{h_->from_server, POLLIN, 0};
    if (::poll(&p, 1, milliseconds) <= 0) return -1;
    const ssize_t n = ::read(h_->from_server, data, size);
    return n < 0 ? 0 : static_cast<long>(n);
}

int ServerProcess::wait() {
    ::close(h_->to_server);
    h_->to_server = -1;
    int status = 0;
    ::waitpid(h_->pid, &status, 0);
    h_->pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace oxtest
