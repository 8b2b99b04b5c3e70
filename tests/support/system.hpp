// What the tests ask of the system they run on, one implementation per
// system (system_posix.cpp, system_windows.cpp): temporary directories,
// running a built program, the environment, code page 932 conversion and
// the features only one system has. The tests themselves hold no conditions
// on the system; where a behaviour differs they ask here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace oxtest {

// Whether the programs under test are the Windows build.
bool on_windows();

// A new, empty directory under the given one.
std::filesystem::path make_unique_directory(const std::filesystem::path& parent);

struct ProcessRun {
    std::string out;  // standard output, bytes as written
    std::string err;  // standard error
    int status = 0;   // the exit status as the system reports it
    int signal = 0;   // on POSIX systems, the signal that ended the program, if one did
};

// What stops a console program from outside: a signal on POSIX systems
// (SIGINT, SIGTERM, SIGHUP, SIGPIPE), a console control event on Windows
// (Ctrl-C, Ctrl-Break).
struct Interrupt {
    const char* name;
    int code;  // the signal, or the console control event
};
std::vector<Interrupt> interrupts();
// Whether the program was ended by the interrupt, as the system reports it:
// by that signal, or with the status of an interrupted console program.
bool ended_by(const ProcessRun& run, const Interrupt& interrupt);

// A program running in the background, its standard output and error kept
// in files; one still running when this goes is killed.
class StartedProcess {
public:
    StartedProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                   const std::vector<std::string>& env = {});
    ~StartedProcess();
    StartedProcess(const StartedProcess&) = delete;
    StartedProcess& operator=(const StartedProcess&) = delete;

    // Whether it has ended.
    bool finished();
    // False when the system could not send it (Wine gives a program started
    // without a console no console control events).
    bool interrupt(const Interrupt& interrupt);
    // Waits for it to end.
    ProcessRun wait();

private:
    std::filesystem::path streams_;  // the directory of the two files
    std::intptr_t process_ = 0;      // the process id, or its handle
    unsigned long group_ = 0;        // on Windows, the process group it leads
    std::optional<int> ended_;       // the system's status, once known
};

// A file name as the tests and the compiler write it (code page 932 bytes
// where the system's code page is 932) as a path, and a path back as such a
// name with '/' separators: std::filesystem converts narrow names by rules
// of its own on Windows, not by the system's code page.
std::filesystem::path to_path(const std::string& name);
std::string generic_name(const std::filesystem::path& path);

// Runs a program (named by path, or found on the PATH) with its standard
// output and error captured, in the directory, with the environment entries
// ("NAME=value") added; an entry "NAME" without '=' removes the variable.
ProcessRun run_process(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                       const std::vector<std::string>& env = {});

// Standard output of a console program with its lines ended by LF alone, as
// the tests expect them: on Windows every CR LF becomes LF (a lone LF stays,
// so that a line without its CR still shows).
std::string lf_lines(std::string_view console_output);

void unset_environment(const char* name);
// A variable of this process's environment, and setting it (a null value
// removes it).
std::optional<std::string> get_environment(const char* name);
void set_environment(const char* name, const char* value);
// The variables that name where this system's programs make temporary files.
std::vector<std::string> temporary_directory_variables();
// Where this system's programs make their temporary files, set for as long
// as the guard lives: TMPDIR on POSIX systems, TMP and TEMP on Windows.
class TemporaryDirectoryOverride {
public:
    explicit TemporaryDirectoryOverride(const std::string& directory);
    ~TemporaryDirectoryOverride();
    TemporaryDirectoryOverride(const TemporaryDirectoryOverride&) = delete;
    TemporaryDirectoryOverride& operator=(const TemporaryDirectoryOverride&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Whether the program is found on the PATH.
bool on_path(const std::string& program);

// UTF-8 text in code page 932 through the system's converter; false when
// there is none or the text does not convert.
bool utf8_to_cp932(std::string_view utf8, std::string& cp932);

// Whether file names may hold code page 932 bytes: always on POSIX systems,
// on Windows only when the system's code page is 932.
bool cp932_file_names();

// Names of devices that are no regular files, to be refused as includes,
// bitmaps and waves: /dev/zero; on Windows CON, NUL, COM1, a device name
// with an extension, and the device namespace.
std::vector<std::string> device_names();

// Makes a named pipe (FIFO); false where the system has none.
bool make_fifo(const std::string& path);

// Caps the files this process and the programs it starts may write, so that
// a program writing past the cap is killed rather than fill the disk.
class FileSizeCap {
public:
    // Whether the system can cap them (and make sparse files for the test).
    static bool available();
    explicit FileSizeCap(std::uint64_t bytes);
    ~FileSizeCap();
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;

private:
    std::uint64_t saved_ = 0;
};

// Ends the test process if the scope takes longer than the seconds given,
// so that an input that hangs the compiler fails fast instead of stalling
// the suite.
class Deadline {
public:
    explicit Deadline(unsigned seconds);
    ~Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;
};

}  // namespace oxtest
