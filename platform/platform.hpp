// What differs between the systems the compiler runs on: opening files,
// where a source's relative names are found, deleting, which arguments are
// options, standard output and the failure status. One implementation is
// built (posix.cpp or windows.cpp); the rest of the compiler sees only this.
//
// The compiler has names as code page 932 byte strings in which '\' and '/'
// both separate directories; system_name and resolve turn them into the
// names that the file functions here take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace oxbuild::platform {

// The exit status of a command-line or file failure and of the fatal stop:
// -1 as the system reports it (a POSIX shell sees 255).
#ifdef _WIN32
inline constexpr int kFailureStatus = -1;
#else
inline constexpr int kFailureStatus = 255;
#endif

// Whether a command-line argument is an option rather than a file name.
bool is_option(std::string_view arg);

// A name from the command line as the file functions take it: on POSIX
// systems every separator '\' becomes '/'; Windows takes names as they are.
std::string system_name(std::string_view name);

// Where the relative names that a source gives (includes, bitmaps, waves)
// are found: the source's directory, on the source's drive where names have
// drives. "" means the current directory.
std::string source_directory(std::string_view source_name);
// A name as the source wrote it, made to lead where the source means, as the
// file functions take it.
std::string resolve(std::string_view directory, std::string_view name);

// An open system file: a descriptor or a system handle, closed when its
// owner goes (closing is the one part each system does its own way).
class SystemHandle {
public:
    static constexpr std::intptr_t kClosed = -1;
    SystemHandle() = default;
    explicit SystemHandle(std::intptr_t value) : value_(value) {}
    SystemHandle(SystemHandle&& other) noexcept : value_(other.release()) {}
    SystemHandle& operator=(SystemHandle&& other) noexcept {
        std::swap(value_, other.value_);
        return *this;
    }
    ~SystemHandle();

    bool is_open() const { return value_ != kClosed; }
    std::intptr_t get() const { return value_; }
    std::intptr_t release() { return std::exchange(value_, kClosed); }

private:
    std::intptr_t value_ = kClosed;
};

// A regular disk file open for reading: source, include, bitmap or wave.
// Directories, devices and pipes are never opened, so that nothing can hang
// the compiler or feed it endlessly.
class InputFile {
public:
    // A closed file when the name leads to nothing readable of that kind.
    static InputFile open(const std::string& name);
    InputFile() = default;

    bool is_open() const { return handle_.is_open(); }
    // The current size in bytes; -1 when it cannot be told.
    std::int64_t size() const;
    // Up to size bytes: how many were read, 0 at the end, -1 on an error.
    std::int64_t read_some(unsigned char* data, std::size_t size);
    // Back to the first byte.
    [[nodiscard]] bool rewind();
    // Whether the name leads to this very file (through links too).
    bool is_same_file(const std::string& name) const;

private:
    explicit InputFile(std::intptr_t handle) : handle_(handle) {}
    SystemHandle handle_;
};

// The module file, written from its start as if it were created or emptied.
// On POSIX systems an existing regular file is written over in place
// instead, and cut at the end of what was written when it is closed or let
// go: the file's cached pages are written again instead of being freed and
// found anew. Until then, opening it as an InputFile cuts it there first, so
// that a reader (an include or resource that names the module) finds what
// it would find in a file emptied when it was created.
class OutputFile {
public:
    static OutputFile create(const std::string& name);
    OutputFile() = default;
    OutputFile(OutputFile&& other) noexcept = default;
    OutputFile& operator=(OutputFile&& other) noexcept;
    ~OutputFile();

    bool is_open() const { return handle_.is_open(); }
    // Writes all the bytes; false when the system took fewer.
    [[nodiscard]] bool write_all(const unsigned char* data, std::size_t size);
    // False when closing (or cutting the old bytes off) reports a failure.
    [[nodiscard]] bool close();

private:
    explicit OutputFile(std::intptr_t handle) : handle_(handle) {}
    // Cuts off what is left of the old file, before its handle goes; false
    // when that fails.
    bool let_go();
    SystemHandle handle_;
};

// A temporary file of the compiler's own, gone when it is closed: written,
// then read back from its start.
class ScratchFile {
public:
    // A closed file when none can be made.
    static ScratchFile create();
    ScratchFile() = default;

    bool is_open() const { return handle_.is_open(); }
    [[nodiscard]] bool write_all(const unsigned char* data, std::size_t size);
    [[nodiscard]] bool rewind();
    // Up to size bytes: how many were read, 0 at the end, -1 on an error.
    std::int64_t read_some(unsigned char* data, std::size_t size);

private:
    explicit ScratchFile(std::intptr_t handle) : handle_(handle) {}
    SystemHandle handle_;
};

// The large page of systems that back memory with such pages on request,
// and the smallest page of the machines we run on.
inline constexpr std::size_t kLargePage = std::size_t{2} << 20;
inline constexpr std::size_t kSmallPage = std::size_t{4} << 10;
// The whole pages of the given size that lie inside a block of any
// alignment and size: their start and size, 0 when there is none.
struct PageRun {
    void* start;
    std::size_t size;
};
inline PageRun whole_pages_inside(void* block, std::size_t size, std::size_t page) {
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + page - 1) & ~(page - 1);
    const std::uintptr_t last = (start + size) & ~(page - 1);
    return last > first ? PageRun{reinterpret_cast<void*>(first), last - first} : PageRun{block, 0};
}
// Asks the system to back a block of memory (aligned to kLargePage, its
// size a multiple of it) with large pages, so that filling it costs one
// page fault per large page instead of one per small page; nothing where
// the system does not take such requests.
void advise_large_pages(void* block, std::size_t size);
// The same for the large pages that lie wholly inside a block of any
// alignment and size (a string's or a vector's storage, before it is filled).
inline void advise_large_pages_inside(void* block, std::size_t size) {
    const PageRun run = whole_pages_inside(block, size, kLargePage);
    if (run.size != 0) advise_large_pages(run.start, run.size);
}

// Asks the system to back the whole pages inside a block of memory that is
// about to be filled at once, in one request, instead of a page fault for
// each page as it is first written (which costs about twice as much); nothing
// where the system does not take such requests.
void back_pages_now(void* block, std::size_t size);

// Whether both names lead to one existing file (through links too).
bool same_file(const std::string& a, const std::string& b);

// Deletes the file; false when it could not be deleted.
bool remove_file(const std::string& name);

// Writes a whole file in place of the old one, or leaves the old one: the
// bytes go to a temporary file in the same directory as the file (through
// a symbolic link, the file it leads to), which then takes the name, with
// the old file's permissions (a new file gets those a created file gets).
// False, with nothing changed, when any step fails; an interrupt on the way
// leaves the old file and no temporary one. A name that leads to no
// regular file (a device, a pipe) cannot be replaced and is written
// directly. For the files tools write; the compiler's own module is
// created and deleted as its run decides.
[[nodiscard]] bool replace_file(const std::string& name, std::string_view bytes);

// An interrupt (SIGINT, SIGTERM, SIGHUP or SIGPIPE on POSIX systems;
// Ctrl-C, Ctrl-Break or the console closing on Windows) deletes every file
// armed here, the files a run has made and not finished, and then ends the
// process as that interrupt would have ended it, so that shells and build
// tools see it. A signal ignored when the program started stays ignored.
class InterruptCleanup {
public:
    InterruptCleanup() = default;
    ~InterruptCleanup() { disarm(); }
    InterruptCleanup(const InterruptCleanup&) = delete;
    InterruptCleanup& operator=(const InterruptCleanup&) = delete;

    // Runs create, which makes the file and says whether it did, with
    // interrupts held back until the file is armed: an interrupt finds it
    // either not yet made or armed. A file not made is never armed, so
    // nothing of anyone else's is deleted. The name is prepared here, for
    // the handler reads it as it stands. True when the file was made.
    bool arm_for(const std::string& name, const std::function<bool()>& create);
    // The file is complete (or deleted already): an interrupt leaves it.
    void disarm();

private:
    std::string name_;
    int slot_ = -1;
};

// Converts code page 932 text to UTF-8. Bytes that do not form a character
// become U+FFFD, so a broken name still prints as one line.
std::string cp932_to_utf8(std::string_view text);

// Puts standard output into the form the system's console programs write.
void prepare_standard_output();
// Standard input and output carry bytes unchanged, line ends untranslated:
// for tools that pass files or protocol messages through them.
void binary_standard_streams();
// Up to size bytes of standard input as they come (waiting for the first):
// how many were read, 0 at its end, -1 on an error.
std::int64_t read_standard_input(unsigned char* data, std::size_t size);
// Whether standard input has bytes (or its end) to read without waiting:
// for a program that works and still listens (the debug adapter).
bool standard_input_waiting();
// All the bytes to standard output; false when it is gone.
[[nodiscard]] bool write_standard_output(const unsigned char* data, std::size_t size);

}  // namespace oxbuild::platform
