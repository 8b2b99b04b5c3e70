#include "support/system.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <iconv.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_support.hpp"

namespace oxtest {

namespace fs = std::filesystem;

bool on_windows() { return false; }

fs::path make_unique_directory(const fs::path& parent) {
    std::string pattern = (parent / "oxbuild-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

fs::path to_path(const std::string& name) { return name; }

std::string generic_name(const fs::path& path) { return path.generic_string(); }

StartedProcess::StartedProcess(const std::string& program, const std::vector<std::string>& args,
                               const std::string& cwd, const std::vector<std::string>& env)
    : streams_(make_unique_directory(fs::temp_directory_path())) {
    const std::string out_path = (streams_ / "out").string(), err_path = (streams_ / "err").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err, STDERR_FILENO) < 0) ::_exit(127);
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        for (const std::string& e : env) {
            if (e.find('=') == std::string::npos) ::unsetenv(e.c_str());
            else ::putenv(const_cast<char*>(e.c_str()));
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(program.c_str(), argv.data());
        ::_exit(127);
    }
    process_ = pid;
}

StartedProcess::~StartedProcess() {
    if (!finished()) {
        ::kill(static_cast<pid_t>(process_), SIGKILL);
        (void)wait();
    }
    std::error_code ignored;
    fs::remove_all(streams_, ignored);
}

bool StartedProcess::finished() {
    if (ended_) return true;
    int wstatus = 0;
    if (::waitpid(static_cast<pid_t>(process_), &wstatus, WNOHANG) != static_cast<pid_t>(process_)) return false;
    ended_ = wstatus;
    return true;
}

bool StartedProcess::interrupt(const Interrupt& interrupt) {
    return ::kill(static_cast<pid_t>(process_), interrupt.code) == 0;
}

ProcessRun StartedProcess::wait() {
    if (!ended_) {
        int wstatus = 0;
        ::waitpid(static_cast<pid_t>(process_), &wstatus, 0);
        ended_ = wstatus;
    }
    ProcessRun run;
    run.status = WIFEXITED(*ended_) ? WEXITSTATUS(*ended_) : -1;
    run.signal = WIFSIGNALED(*ended_) ? WTERMSIG(*ended_) : 0;
    const Bytes out = read_file((streams_ / "out").string()), err = read_file((streams_ / "err").string());
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    return run;
}

std::vector<Interrupt> interrupts() {
    return {{"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGPIPE", SIGPIPE}};
}

bool ended_by(const ProcessRun& run, const Interrupt& interrupt) { return run.signal == interrupt.code; }

std::string lf_lines(std::string_view console_output) { return std::string(console_output); }

void unset_environment(const char* name) { ::unsetenv(name); }

void set_environment(const char* name, const char* value) {
    if (value == nullptr) ::unsetenv(name);
    else ::setenv(name, value, 1);
}

std::optional<std::string> get_environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

std::vector<std::string> temporary_directory_variables() { return {"TMPDIR"}; }

bool on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path != nullptr ? path : "";
    while (!dirs.empty()) {
        const std::size_t colon = dirs.find(':');
        const std::string dir(dirs.substr(0, colon));
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
    }
    return false;
}


bool utf8_to_cp932(std::string_view utf8, std::string& cp932) {
    const iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string in(utf8);
    char* src = in.data();
    std::size_t src_left = in.size();
    std::string out(in.size() * 2 + 16, '\0');
    char* dst = out.data();
    std::size_t dst_left = out.size();
    const bool converted = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!converted) return false;
    out.resize(out.size() - dst_left);
    cp932 = out;
    return true;
}

bool cp932_file_names() { return true; }

std::vector<std::string> device_names() { return {"/dev/zero"}; }

bool make_fifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

bool FileSizeCap::available() { return true; }

FileSizeCap::FileSizeCap(std::uint64_t bytes) {
    rlimit cap{};
    ::getrlimit(RLIMIT_FSIZE, &cap);
    saved_ = cap.rlim_cur;
    cap.rlim_cur = std::min<rlim_t>(bytes, cap.rlim_max);
    ::setrlimit(RLIMIT_FSIZE, &cap);
}

FileSizeCap::~FileSizeCap() {
    rlimit cap{};
    ::getrlimit(RLIMIT_FSIZE, &cap);
    cap.rlim_cur = saved_;
    ::setrlimit(RLIMIT_FSIZE, &cap);
}

Deadline::Deadline(unsigned seconds) { ::alarm(seconds); }
Deadline::~Deadline() { ::alarm(0); }

}  // namespace oxtest
