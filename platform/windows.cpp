// The platform layer on Windows: names with drive letters, each drive with a
// current directory of its own, names passed to the system as code page 932
// bytes through the ANSI file functions, every argument that begins with '/'
// an option, and standard output in text mode (lines end in CR LF).
#include "platform/platform.hpp"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <utility>
#include <windows.h>

#include "platform/armed_files.hpp"
#include "platform/file_names.hpp"
#include "core/char_classes.hpp"

namespace oxbuild::platform {

namespace {

constexpr DWORD kLargestRead = 1u << 30;
constexpr UINT kCodePage932 = 932;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr int kLongestUtf8Character = 4;

HANDLE system_handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t handle_value(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

void close_handle(std::intptr_t handle) { ::CloseHandle(system_handle(handle)); }

std::int64_t read_from(std::intptr_t handle, unsigned char* data, std::size_t size) {
    DWORD read = 0;
    const DWORD want = size < kLargestRead ? static_cast<DWORD>(size) : kLargestRead;
    if (::ReadFile(system_handle(handle), data, want, &read, nullptr) == 0) return -1;
    return read;
}

bool write_to(std::intptr_t handle, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD want = size < kLargestRead ? static_cast<DWORD>(size) : kLargestRead;
        if (::WriteFile(system_handle(handle), data, want, &written, nullptr) == 0 || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool rewind_file(std::intptr_t handle) {
    LARGE_INTEGER start{};
    return ::SetFilePointerEx(system_handle(handle), start, nullptr, FILE_BEGIN) != 0;
}

bool identify(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return ::GetFileInformationByHandle(handle, &info) != 0;
}

// The volume and the file index of the named file, which hard links share.
bool identify_by_name(const std::string& name, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE handle = ::CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool identified = identify(handle, info);
    ::CloseHandle(handle);
    return identified;
}

bool same_identity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// A disk file and no directory: consoles, devices and pipes are refused.
bool is_regular_disk_file(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileType(handle) == FILE_TYPE_DISK && identify(handle, info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// One code page 932 character (one or two bytes) appended as UTF-8; false
// when the bytes form no character.
bool append_character(std::string_view character, std::string& out) {
    wchar_t wide[2];
    const int units = ::MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, character.data(),
                                            static_cast<int>(character.size()), wide, 2);
    if (units <= 0) return false;
    char utf8[2 * kLongestUtf8Character];
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, sizeof utf8, nullptr, nullptr);
    if (bytes <= 0) return false;
    out.append(utf8, static_cast<std::size_t>(bytes));
    return true;
}

}  // namespace

bool is_option(std::string_view arg) { return !arg.empty() && arg[0] == '/'; }

std::string system_name(std::string_view name) { return std::string(name); }

std::string source_directory(std::string_view source_name) { return directory_with_drive(source_name); }

std::string resolve(std::string_view directory, std::string_view name) { return resolve_on_drive(directory, name); }

// Device names are refused before they are opened: opening one may already
// wait or have effects. Sharing for writing lets an editor keep the file open.
SystemHandle::~SystemHandle() {
    if (is_open()) close_handle(value_);
}

InputFile InputFile::open(const std::string& name) {
    if (is_device_name(name)) return {};
    const HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    if (!is_regular_disk_file(handle)) {
        ::CloseHandle(handle);
        return {};
    }
    return InputFile(handle_value(handle));
}

std::int64_t InputFile::size() const {
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(system_handle(handle_.get()), &size) == 0) return -1;
    return size.QuadPart;
}

std::int64_t InputFile::read_some(unsigned char* data, std::size_t size) {
    return read_from(handle_.get(), data, size);
}

bool InputFile::rewind() { return rewind_file(handle_.get()); }

bool InputFile::is_same_file(const std::string& name) const {
    BY_HANDLE_FILE_INFORMATION mine{}, theirs{};
    return identify(system_handle(handle_.get()), mine) && identify_by_name(name, theirs) && same_identity(mine, theirs);
}

OutputFile OutputFile::create(const std::string& name) {
    if (is_device_name(name)) return {};
    // An interrupt deletes it while it is open.
    const HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    return OutputFile(handle_value(handle));
}

bool OutputFile::write_all(const unsigned char* data, std::size_t size) { return write_to(handle_.get(), data, size); }

bool OutputFile::close() { return ::CloseHandle(system_handle(handle_.release())) != 0; }

// Created anew (CREATE_ALWAYS empties an existing file): nothing to cut.
bool OutputFile::let_go() { return true; }

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    handle_ = std::move(other.handle_);
    return *this;
}

OutputFile::~OutputFile() = default;

// Made in the user's temporary directory and deleted by the system when
// its handle closes.
ScratchFile ScratchFile::create() {
    char directory[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    const DWORD length = ::GetTempPathA(sizeof directory, directory);
    if (length == 0 || length > MAX_PATH || ::GetTempFileNameA(directory, "oxb", 0, name) == 0) return {};
    const HANDLE handle = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ::DeleteFileA(name);
        return {};
    }
    return ScratchFile(handle_value(handle));
}

bool ScratchFile::write_all(const unsigned char* data, std::size_t size) { return write_to(handle_.get(), data, size); }

bool ScratchFile::rewind() { return rewind_file(handle_.get()); }

std::int64_t ScratchFile::read_some(unsigned char* data, std::size_t size) {
    return read_from(handle_.get(), data, size);
}

// Large pages need a privilege that users rarely have: small pages it is.
void advise_large_pages(void*, std::size_t) {}

void back_pages_now(void*, std::size_t) {}

bool same_file(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identify_by_name(a, first) && identify_by_name(b, second) && same_identity(first, second);
}

bool remove_file(const std::string& name) { return ::DeleteFileA(name.c_str()) != 0; }

namespace {

bool write_whole_file(const std::string& name, std::string_view bytes) {
    const HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool written = write_to(handle_value(handle), reinterpret_cast<const unsigned char*>(bytes.data()),
                                  bytes.size()) && ::FlushFileBuffers(handle) != 0;
    return ::CloseHandle(handle) != 0 && written;
}

}  // namespace

// The temporary file is made beside the old one, so that the move is a
// rename on one volume; it replaces the old file with its attributes. A
// device takes the bytes as they come.
bool replace_file(const std::string& name, std::string_view bytes) {
    if (is_device_name(name)) return write_whole_file(name, bytes);
    const std::size_t separator = name.find_last_of("\\/:");
    const std::string directory = separator == std::string::npos ? "." : name.substr(0, separator + 1);
    std::string temporary(MAX_PATH, '\0');
    InterruptCleanup cleanup;
    const auto make_temporary = [&] { return ::GetTempFileNameA(directory.c_str(), "oxb", 0, temporary.data()) != 0; };
    if (!cleanup.arm_for(temporary, make_temporary)) return false;
    temporary.resize(std::strlen(temporary.c_str()));
    const DWORD attributes = ::GetFileAttributesA(name.c_str());
    if (write_whole_file(temporary, bytes) &&
        (attributes == INVALID_FILE_ATTRIBUTES || ::SetFileAttributesA(temporary.c_str(), attributes) != 0) &&
        ::MoveFileExA(temporary.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return true;
    ::DeleteFileA(temporary.c_str());
    return false;
}

// Character by character, so that a byte which forms no character is
// replaced alone and the conversion goes on after it.
std::string cp932_to_utf8(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const bool pair = is_lead_byte(static_cast<unsigned char>(text[i])) && i + 1 < text.size();
        const std::size_t length = pair ? 2 : 1;
        if (append_character(text.substr(i, length), out)) {
            i += length;
            continue;
        }
        out += kReplacement;
        ++i;
    }
    return out;
}

void prepare_standard_output() { ::_setmode(::_fileno(stdout), _O_TEXT); }

void binary_standard_streams() {
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
}

// ReadFile of a pipe returns what has come, as a POSIX read does.
std::int64_t read_standard_input(unsigned char* data, std::size_t size) {
    return read_from(handle_value(::GetStdHandle(STD_INPUT_HANDLE)), data, size);
}

// A pipe says how many bytes wait in it (a broken one has its end waiting);
// anything else (a file, a console) is taken as ready.
bool standard_input_waiting() {
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    if (::GetFileType(in) != FILE_TYPE_PIPE) return true;
    DWORD available = 0;
    if (!::PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) return true;
    return available != 0;
}

bool write_standard_output(const unsigned char* data, std::size_t size) {
    return write_to(handle_value(::GetStdHandle(STD_OUTPUT_HANDLE)), data, size);
}

namespace {


// Held by arming and by the handler, which keeps it: an interrupt waits for
// a file being made to be armed, and nothing is armed after it.
CRITICAL_SECTION& cleanup_lock() {
    static CRITICAL_SECTION lock = [] {
        CRITICAL_SECTION made;
        ::InitializeCriticalSection(&made);
        return made;
    }();
    return lock;
}

// Runs on a thread of its own. The module is opened to be deleted while
// open (FILE_SHARE_DELETE): it goes when the process ends, which the
// system's own handler, called next, does with the status of an
// interrupted console program.
BOOL WINAPI on_console_event(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    ::EnterCriticalSection(&cleanup_lock());
    for (const auto& slot : armed_files)
        if (const char* name = slot.load()) ::DeleteFileA(name);
    return FALSE;
}

void install_console_handler() {
    static const bool installed = ::SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
    (void)installed;
}

}  // namespace

bool InterruptCleanup::arm_for(const std::string& name, const std::function<bool()>& create) {
    disarm();
    install_console_handler();
    ::EnterCriticalSection(&cleanup_lock());
    const bool made = create();
    if (made) {
        name_ = name;
        slot_ = claim_armed_slot(name_.c_str());
    }
    ::LeaveCriticalSection(&cleanup_lock());
    return made;
}


}  // namespace oxbuild::platform
