#include "support/system.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <windows.h>

#include "support/test_support.hpp"

namespace oxtest {

namespace fs = std::filesystem;

namespace {

constexpr UINT kCodePage932 = 932;
constexpr int kDeadlineExitCode = 124;

// One argument quoted as the C runtime splits a command line: backslashes
// count only before a quote.
std::string quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string q = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        q.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        q += c;
    }
    q.append(2 * backslashes, '\\');
    return q + "\"";
}

std::string variable_name(std::string_view entry) {
    // "=C:=C:\dir" names the variable "=C:": the first '=' is part of it.
    const std::size_t equals = entry.find('=', 1);
    std::string name(entry.substr(0, equals));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

// This process's environment with the entries added (an entry replaces one
// of the same name; a name alone removes it), as CreateProcess takes it.
std::string environment_block(const std::vector<std::string>& added) {
    std::vector<std::string> entries;
    char* const strings = ::GetEnvironmentStringsA();
    for (const char* e = strings; *e != '\0'; e += std::strlen(e) + 1) entries.emplace_back(e);
    ::FreeEnvironmentStringsA(strings);
    for (const std::string& a : added) {
        std::erase_if(entries, [&](const std::string& e) { return variable_name(e) == variable_name(a); });
        if (a.find('=', 1) != std::string::npos) entries.push_back(a);
    }
    std::string block;
    for (const std::string& e : entries) block.append(e).push_back('\0');
    block.push_back('\0');
    return block;
}

HANDLE inheritable_file(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
}

std::string text_of(const std::string& path) {
    const Bytes bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

HANDLE deadline_timer = nullptr;

void CALLBACK deadline_passed(void*, BOOLEAN) {
    std::fputs("the deadline passed: the compiler hangs\n", stderr);
    ::ExitProcess(kDeadlineExitCode);
}

}  // namespace

bool on_windows() { return true; }

fs::path make_unique_directory(const fs::path& parent) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (;;) {
        const fs::path candidate = parent / ("oxbuild-test-" + std::to_string(random() % 1000000000));
        if (fs::create_directory(candidate)) return candidate;
    }
}

fs::path to_path(const std::string& name) {
    const int size = static_cast<int>(name.size());
    std::wstring wide(name.size(), L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), size)));
    return wide;
}

std::string generic_name(const fs::path& path) {
    const std::wstring wide = path.generic_wstring();
    const int size = static_cast<int>(wide.size());
    std::string name(2 * wide.size(), '\0');
    name.resize(static_cast<std::size_t>(
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), size, name.data(), 2 * size, nullptr, nullptr)));
    return name;
}

// The program's name is made absolute first: the build gives it as the
// build machine wrote it ("/work/build/oxbuild.exe" when cross-compiled),
// which the system takes on the current drive. A bare name is looked for on
// the PATH.
StartedProcess::StartedProcess(const std::string& program, const std::vector<std::string>& args,
                               const std::string& cwd, const std::vector<std::string>& env)
    : streams_(make_unique_directory(fs::temp_directory_path())) {
    char full[MAX_PATH];
    const bool bare = program.find_first_of("\\/:") == std::string::npos;
    const DWORD found = bare ? ::SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, full, nullptr)
                             : ::GetFullPathNameA(program.c_str(), MAX_PATH, full, nullptr);
    if (found == 0 || found >= MAX_PATH) throw std::runtime_error("no " + program);
    std::string command_line = quoted(full);
    for (const std::string& a : args) {
        command_line += ' ';
        command_line += quoted(a);
    }
    std::string environment = environment_block(env);
    const HANDLE out = inheritable_file((streams_ / "out").string());
    const HANDLE err = inheritable_file((streams_ / "err").string());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    // A group of its own, so that a console control event reaches it alone.
    const BOOL started = ::CreateProcessA(full, command_line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                                          environment.data(), cwd.c_str(), &startup, &process);
    ::CloseHandle(out);
    ::CloseHandle(err);
    if (!started) throw std::runtime_error("cannot start " + program);
    ::CloseHandle(process.hThread);
    process_ = reinterpret_cast<std::intptr_t>(process.hProcess);
    group_ = process.dwProcessId;
}

StartedProcess::~StartedProcess() {
    if (!finished()) {
        ::TerminateProcess(reinterpret_cast<HANDLE>(process_), 1);
        (void)wait();
    }
    ::CloseHandle(reinterpret_cast<HANDLE>(process_));
    std::error_code ignored;
    fs::remove_all(streams_, ignored);
}

bool StartedProcess::finished() {
    if (ended_) return true;
    if (::WaitForSingleObject(reinterpret_cast<HANDLE>(process_), 0) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    ::GetExitCodeProcess(reinterpret_cast<HANDLE>(process_), &code);
    ended_ = static_cast<int>(code);
    return true;
}

bool StartedProcess::interrupt(const Interrupt& interrupt) {
    return ::GenerateConsoleCtrlEvent(static_cast<DWORD>(interrupt.code), group_) != 0;
}

ProcessRun StartedProcess::wait() {
    ::WaitForSingleObject(reinterpret_cast<HANDLE>(process_), INFINITE);
    (void)finished();
    ProcessRun run;
    run.status = *ended_;
    run.out = text_of((streams_ / "out").string());
    run.err = text_of((streams_ / "err").string());
    return run;
}

// A new process group starts with Ctrl-C disabled, so only Ctrl-Break can
// be sent to a program started alone.
std::vector<Interrupt> interrupts() { return {{"Ctrl-Break", CTRL_BREAK_EVENT}}; }

bool ended_by(const ProcessRun& run, const Interrupt&) {
    return static_cast<DWORD>(run.status) == static_cast<DWORD>(STATUS_CONTROL_C_EXIT);
}

std::string lf_lines(std::string_view console_output) {
    std::string text;
    for (std::size_t i = 0; i < console_output.size(); ++i)
        if (!(console_output[i] == '\r' && i + 1 < console_output.size() && console_output[i + 1] == '\n'))
            text += console_output[i];
    return text;
}

void unset_environment(const char* name) { ::SetEnvironmentVariableA(name, nullptr); }

void set_environment(const char* name, const char* value) { ::SetEnvironmentVariableA(name, value); }

std::optional<std::string> get_environment(const char* name) {
    const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return std::nullopt;
    std::string value(size, '\0');
    value.resize(::GetEnvironmentVariableA(name, value.data(), size));
    return value;
}

std::vector<std::string> temporary_directory_variables() { return {"TMP", "TEMP"}; }

bool on_path(const std::string& program) {
    char full[MAX_PATH];
    const DWORD found = ::SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, full, nullptr);
    return found != 0 && found < MAX_PATH;
}

bool utf8_to_cp932(std::string_view utf8, std::string& cp932) {
    const int size = static_cast<int>(utf8.size());
    std::wstring wide(utf8.size(), L'\0');
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), size);
    if (size > 0 && units <= 0) return false;
    std::string out(2 * utf8.size(), '\0');
    BOOL lost = FALSE;
    const int bytes = ::WideCharToMultiByte(kCodePage932, 0, wide.data(), units, out.data(),
                                            static_cast<int>(out.size()), nullptr, &lost);
    if ((size > 0 && bytes <= 0) || lost) return false;
    out.resize(static_cast<std::size_t>(bytes));
    cp932 = out;
    return true;
}

bool cp932_file_names() { return ::GetACP() == kCodePage932; }

std::vector<std::string> device_names() { return {"CON", "NUL", "COM1", "aux.oxs", "\\\\.\\NUL"}; }

bool make_fifo(const std::string&) { return false; }

bool FileSizeCap::available() { return false; }
FileSizeCap::FileSizeCap(std::uint64_t) {}
FileSizeCap::~FileSizeCap() {}

Deadline::Deadline(unsigned seconds) {
    ::CreateTimerQueueTimer(&deadline_timer, nullptr, deadline_passed, nullptr, seconds * 1000, 0, 0);
}

Deadline::~Deadline() {
    if (deadline_timer != nullptr) ::DeleteTimerQueueTimer(nullptr, deadline_timer, INVALID_HANDLE_VALUE);
    deadline_timer = nullptr;
}

}  // namespace oxtest
