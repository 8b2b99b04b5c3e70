// The platform layer on POSIX systems: no drive letters, '\' reaches the
// file system as '/', and an argument beginning with '/' is an option only
// when it holds no second '/' (so that absolute names stay file names).
#include "platform/platform.hpp"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/armed_files.hpp"
#include "platform/file_names.hpp"

namespace oxbuild::platform {

namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as fopen does

int descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

std::int64_t read_from(std::intptr_t handle, unsigned char* data, std::size_t size) {
    ssize_t n;
    do n = ::read(descriptor(handle), data, size);
    while (n < 0 && errno == EINTR);
    return n;
}

bool write_to(std::intptr_t handle, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(descriptor(handle), data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool rewind_file(std::intptr_t handle) { return ::lseek(descriptor(handle), 0, SEEK_SET) == 0; }

// The regular files this thread is writing over in place (see OutputFile),
// known by device and inode so that any name of them is recognised, with
// the size each had. A compilation writes one module at a time: a file
// opened while the list is full is emptied at once instead.
class FilesWrittenOver {
public:
    // False when there is no room.
    bool add(int fd, const struct stat& st) {
        if (count_ == entries_.size()) return false;
        entries_[count_++] = {st.st_dev, st.st_ino, fd, st.st_size};
        return true;
    }
    // Takes the file written through fd off the list, cut at what has been
    // written; true when it was not on it.
    bool finish(int fd) {
        return finish_where([&](const Entry& e) { return e.fd == fd; });
    }
    // The same for the file st describes.
    bool finish(const struct stat& st) {
        return finish_where([&](const Entry& e) { return e.device == st.st_dev && e.inode == st.st_ino; });
    }

private:
    struct Entry {
        dev_t device;
        ino_t inode;
        int fd;
        off_t old_size;
    };
    // From the cut on, the file is what an emptied file written as much
    // would be. Old bytes are left only where it was longer.
    template <typename Matches>
    bool finish_where(const Matches& matches) {
        std::size_t i = 0;
        while (i < count_ && !matches(entries_[i])) ++i;
        if (i == count_) return true;
        const Entry entry = entries_[i];
        entries_[i] = entries_[--count_];
        const off_t end = ::lseek(entry.fd, 0, SEEK_CUR);
        return end >= 0 && (end >= entry.old_size || ::ftruncate(entry.fd, end) == 0);
    }
    std::array<Entry, 4> entries_{};
    std::size_t count_ = 0;
};

thread_local FilesWrittenOver files_written_over;
}  // namespace

bool is_option(std::string_view arg) {
    return !arg.empty() && arg[0] == '/' && arg.find('/', 1) == std::string_view::npos;
}

std::string system_name(std::string_view name) { return to_system_path(name); }

std::string source_directory(std::string_view source_name) { return directory_of(source_name); }

std::string resolve(std::string_view directory, std::string_view name) {
    std::string path = to_system_path(name);
    if (directory.empty() || (!path.empty() && path[0] == '/')) return path;
    std::string joined(directory);
    joined += '/';
    joined += path;
    return joined;
}

// Opened without blocking, so that a FIFO cannot hang the open itself.
SystemHandle::~SystemHandle() {
    if (is_open()) ::close(descriptor(value_));
}

InputFile InputFile::open(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {};
    }
    // The module being written over reads as emptied when it was created.
    if (!files_written_over.finish(st)) {
        ::close(fd);
        return {};
    }
    return InputFile(fd);
}

std::int64_t InputFile::size() const {
    struct stat st {};
    if (::fstat(descriptor(handle_.get()), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::int64_t InputFile::read_some(unsigned char* data, std::size_t size) {
    return read_from(handle_.get(), data, size);
}

bool InputFile::rewind() { return rewind_file(handle_.get()); }

// Device and inode.
bool InputFile::is_same_file(const std::string& name) const {
    struct stat mine {}, other {};
    if (::fstat(descriptor(handle_.get()), &mine) != 0 || ::stat(name.c_str(), &other) != 0) return false;
    return mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

// A device or a pipe takes the bytes as they come, as it would after
// O_TRUNC, which leaves such files alone. A file whose kind cannot be told,
// or that finds the list full, is opened emptied as before.
OutputFile OutputFile::create(const std::string& name) {
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, kNewFileMode);
    if (fd < 0) return {};
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    const bool regular = known && S_ISREG(st.st_mode);
    if (!known || (regular && st.st_size > 0 && !files_written_over.add(fd, st))) {
        ::close(fd);
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode);
        if (fd < 0) return {};
    }
    return OutputFile(fd);
}

bool OutputFile::write_all(const unsigned char* data, std::size_t size) { return write_to(handle_.get(), data, size); }

bool OutputFile::let_go() {
    if (!is_open()) return true;
    const int fd = descriptor(handle_.get());
    return files_written_over.finish(fd);
}

bool OutputFile::close() {
    const bool cut = let_go();
    const bool closed = ::close(descriptor(handle_.release())) == 0;
    return cut && closed;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        (void)let_go();
        handle_ = std::move(other.handle_);
    }
    return *this;
}

OutputFile::~OutputFile() { (void)let_go(); }

// Made in TMPDIR (else /tmp) and unlinked at once, so that nothing is
// left behind whatever becomes of the process.
ScratchFile ScratchFile::create() {
    const char* directory = std::getenv("TMPDIR");
    std::string name = directory != nullptr && *directory != '\0' ? directory : "/tmp";
    name += "/oxbuild-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return {};
    ::unlink(name.c_str());
    return ScratchFile(fd);
}

bool ScratchFile::write_all(const unsigned char* data, std::size_t size) { return write_to(handle_.get(), data, size); }

bool ScratchFile::rewind() { return rewind_file(handle_.get()); }

std::int64_t ScratchFile::read_some(unsigned char* data, std::size_t size) {
    return read_from(handle_.get(), data, size);
}

void advise_large_pages(void* block, std::size_t size) {
#ifdef MADV_HUGEPAGE
    (void)::madvise(block, size, MADV_HUGEPAGE);  // a refusal leaves small pages, which work as well
#else
    (void)block;
    (void)size;
#endif
}

void back_pages_now(void* block, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    // A refusal (an older system, or pages larger than the small page, on
    // which the request may not start) leaves the pages to fault in one by
    // one.
    const PageRun run = whole_pages_inside(block, size, kSmallPage);
    if (run.size != 0) (void)::madvise(run.start, run.size, MADV_POPULATE_WRITE);
#else
    (void)block;
    (void)size;
#endif
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

bool remove_file(const std::string& name) { return ::unlink(name.c_str()) == 0; }

namespace {

// The permissions a file created now gets: the old file's, or those of a
// new file narrowed by the umask (which can only be read by setting it).
mode_t permissions_for(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return kNewFileMode & ~mask;
}

// Written whole and flushed to the disk before it takes the name, so that
// the name leads to the old bytes or the new, never to a part.
bool write_temporary(int fd, mode_t mode, std::string_view bytes) {
    return ::fchmod(fd, mode) == 0 &&
           write_to(fd, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) && ::fsync(fd) == 0;
}

}  // namespace

namespace {

// A device or a pipe cannot be replaced; it takes the bytes as they come.
bool write_in_place(const std::string& name, std::string_view bytes) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = write_to(fd, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return ::close(fd) == 0 && written;
}

// The file a name leads to: through a symbolic link, its target (the link
// stays); "" when that cannot be told (a link that leads nowhere).
std::string file_behind(const std::string& name) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
    char* target = ::realpath(name.c_str(), nullptr);
    if (target == nullptr) return {};
    std::string resolved(target);
    std::free(target);
    return resolved;
}

}  // namespace

bool replace_file(const std::string& name, std::string_view bytes) {
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return write_in_place(name, bytes);
    const std::string file = file_behind(name);
    if (file.empty()) return false;
    const std::size_t slash = file.rfind('/');
    std::string temporary = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    temporary += ".oxbuild-XXXXXX";
    int fd = -1;
    InterruptCleanup cleanup;
    if (!cleanup.arm_for(temporary, [&] { return (fd = ::mkostemp(temporary.data(), O_CLOEXEC)) >= 0; }))
        return false;
    const bool written = write_temporary(fd, permissions_for(file), bytes);
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temporary.c_str(), file.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Deletes the armed files and ends the process by the same signal: the
// default action is back (SA_RESETHAND), and the signal is not held while
// the handler runs (SA_NODEFER), so raising it ends the process here. Only
// async-signal-safe calls.
extern "C" void on_interrupt(int signal) {
    for (const auto& slot : armed_files)
        if (const char* name = slot.load()) ::unlink(name);
    ::raise(signal);
}

void install_interrupt_handlers() {
    static bool installed = false;
    if (std::exchange(installed, true)) return;
    for (const int signal : kInterrupts) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = on_interrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        ::sigaction(signal, &action, nullptr);
    }
}

// The interrupts held back while it lives; one that comes meanwhile is
// delivered when it goes.
class InterruptsHeld {
public:
    InterruptsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : kInterrupts) sigaddset(&set, signal);
        ::sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~InterruptsHeld() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    sigset_t old_;
};

}  // namespace

bool InterruptCleanup::arm_for(const std::string& name, const std::function<bool()>& create) {
    disarm();
    install_interrupt_handlers();
    const InterruptsHeld held;
    if (!create()) return false;
    name_ = name;
    slot_ = claim_armed_slot(name_.c_str());
    return true;
}


void prepare_standard_output() {}

void binary_standard_streams() {}

std::int64_t read_standard_input(unsigned char* data, std::size_t size) { return read_from(STDIN_FILENO, data, size); }

bool standard_input_waiting() {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

bool write_standard_output(const unsigned char* data, std::size_t size) { return write_to(STDOUT_FILENO, data, size); }

// The WebAssembly build's C library converts no code page 932: that build
// has the project's own table instead (web_text.cpp).
#ifndef __EMSCRIPTEN__
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Code page 932 to UTF-8 through iconv.
class Converter {
public:
    Converter() : cd_(iconv_open("UTF-8", "CP932")) {}
    ~Converter() {
        if (valid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::string convert(std::string_view text) {
        std::string out;
        char buffer[256];
        char* in = const_cast<char*>(text.data());
        std::size_t in_left = text.size();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        while (in_left > 0) {
            char* dst = buffer;
            std::size_t dst_left = sizeof buffer;
            const std::size_t r = iconv(cd_, &in, &in_left, &dst, &dst_left);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
            // An invalid or incomplete sequence: replace one byte and go on.
            out += kReplacement;
            ++in;
            --in_left;
        }
        return out;
    }

private:
    iconv_t cd_;
};

// Without a converter on the machine: ASCII passes, other bytes are replaced.
std::string ascii_only(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        if (static_cast<unsigned char>(ch) < 0x80) out += ch;
        else out += kReplacement;
    }
    return out;
}

}  // namespace

std::string cp932_to_utf8(std::string_view text) {
    static Converter converter;
    return converter.valid() ? converter.convert(text) : ascii_only(text);
}
#endif

}  // namespace oxbuild::platform
