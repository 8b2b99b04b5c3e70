#include "oxls/server_process.hpp"

#include <stdexcept>
#include <windows.h>

namespace oxtest {

namespace {

constexpr DWORD kPollMilliseconds = 1;

}  // namespace

struct ServerProcess::Handles {
    HANDLE process = nullptr;
    HANDLE to_server = nullptr;
    HANDLE from_server = nullptr;
};

// The program's name is made absolute first: the build gives it as the
// build machine wrote it ("/work/build/oxls/oxls.exe" when cross-compiled).
ServerProcess::ServerProcess(const std::string& program, const std::string& argument)
    : h_(std::make_unique<Handles>()) {
    char full[MAX_PATH];
    const DWORD found = ::GetFullPathNameA(program.c_str(), MAX_PATH, full, nullptr);
    if (found == 0 || found >= MAX_PATH) throw std::runtime_error("no " + program);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE child_in = nullptr, child_out = nullptr;
    if (!::CreatePipe(&child_in, &h_->to_server, &inherit, 0) || !::CreatePipe(&h_->from_server, &child_out, &inherit, 0))
        throw std::runtime_error("pipe failed");
    ::SetHandleInformation(h_->to_server, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(h_->from_server, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_in;
    startup.hStdOutput = child_out;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    std::string command_line = std::string("\"") + full + "\"";
    if (!argument.empty()) command_line += " " + argument;
    const BOOL started = ::CreateProcessA(full, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &startup, &process);
    ::CloseHandle(child_in);
    ::CloseHandle(child_out);
    if (!started) throw std::runtime_error("cannot start " + program);
    ::CloseHandle(process.hThread);
    h_->process = process.hProcess;
}

ServerProcess::~ServerProcess() {
    if (h_->to_server != nullptr) ::CloseHandle(h_->to_server);
    if (h_->from_server != nullptr) ::CloseHandle(h_->from_server);
    if (h_->process != nullptr) {
        ::TerminateProcess(h_->process, 1);
        ::WaitForSingleObject(h_->process, INFINITE);
        ::CloseHandle(h_->process);
    }
}

void ServerProcess::write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(h_->to_server, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            throw std::runtime_error("oxls stopped reading");
        done += written;
    }
}

// A pipe has no wait with a time-out: it is looked at until bytes come.
long ServerProcess::read_some(char* data, std::size_t size, int milliseconds) {
    for (int waited = 0;; waited += static_cast<int>(kPollMilliseconds)) {
        DWORD available = 0;
        if (!::PeekNamedPipe(h_->from_server, nullptr, 0, nullptr, &available, nullptr)) return 0;  // it has gone
        if (available > 0) {
            DWORD read = 0;
            const DWORD want = static_cast<DWORD>(size < available ? size : available);
            if (!::ReadFile(h_->from_server, data, want, &read, nullptr)) return 0;
            return static_cast<long>(read);
        }
        if (waited >= milliseconds) return -1;
        ::Sleep(kPollMilliseconds);
    }
}

int ServerProcess::wait() {
    ::CloseHandle(h_->to_server);
    h_->to_server = nullptr;
    ::WaitForSingleObject(h_->process, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(h_->process, &code);
    ::CloseHandle(h_->process);
    h_->process = nullptr;
    return static_cast<int>(code);
}

}  // namespace oxtest
