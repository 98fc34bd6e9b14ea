// Opening the input and the output, and saying why when it fails (see files.h).
#include "files.h"
#include "records.h"

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdlib>
#include <algorithm>
#include <iterator>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kwlog {

// ---- A temporary file left by an interrupted run ---------------------------------

// Ctrl+C (or a kill) ends the run wherever it is; the temporary file of -o
// must not stay behind beside the target. Its path is kept where a handler
// can reach it without allocating, and the handler removes the file before
// the signal takes its usual course. On Windows the console's control
// handler runs on a thread of its own while the file is still open: the
// file is opened sharing deletion (create_new), so that deleting it there
// takes it away as the process ends.
namespace {
#ifdef _WIN32
wchar_t pending_temp[4096];
volatile LONG have_pending_temp = 0;

BOOL WINAPI remove_pending_temp(DWORD) {
    if (have_pending_temp != 0)
        DeleteFileW(pending_temp);
    return FALSE; // and the default handler ends the process
}
#else
char pending_temp[4096];
volatile std::sig_atomic_t have_pending_temp = 0;

extern "C" void remove_pending_temp(int signal) {
    if (have_pending_temp != 0)
        unlink(pending_temp);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

void remember_temp(const std::string& path) {
#ifdef _WIN32
    std::wstring wide = to_wide(path);
    if (wide.size() >= std::size(pending_temp))
        return;
    std::memcpy(pending_temp, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    have_pending_temp = 1;
    static bool handled = false;
    if (!handled)
        handled = SetConsoleCtrlHandler(remove_pending_temp, TRUE) != 0;
#else
    if (path.size() >= sizeof pending_temp)
        return;
    std::memcpy(pending_temp, path.c_str(), path.size() + 1);
    have_pending_temp = 1;
    static bool handled = false;
    if (!handled) {
        handled = true;
        struct sigaction action = {};
        action.sa_handler = remove_pending_temp;
        sigemptyset(&action.sa_mask);
        // A signal ignored from the start stays ignored: nohup, or a job
        // started in the background by a shell, asked for that.
        struct sigaction before;
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
                sigaction(signal, &action, nullptr);
    }
#endif
}

void forget_temp() {
    have_pending_temp = 0;
}
} // namespace

#ifdef _WIN32

// Paths are UTF-8 within the program and UTF-16 for Windows' wide calls,
// which open any path, whatever the user's code page.
std::wstring to_wide(const std::string& text) {
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string to_utf8(const wchar_t* wide) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return "";
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
    text.pop_back(); // its NUL
    return text;
}

#endif

namespace {

// ---- Paths and messages for the system -------------------------------------------

#ifdef _WIN32

#define FILE_MODE(mode) L##mode

std::FILE* open_path(const std::string& path, const wchar_t* mode) {
    return _wfopen(to_wide(path).c_str(), mode);
}

int remove_file(const std::string& path) {
    return _wremove(to_wide(path).c_str());
}

// A console shows UTF-16 written with WriteConsoleW; a pipe or a file gets
// the UTF-8 bytes.
void put_error(const std::string& text) {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::wstring wide = to_wide(text);
        DWORD written = 0;
        std::fflush(stderr);
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // The C runtime may hold standard error back when it is a pipe or a
    // file; follow's words must show while it waits.
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

#else

#define FILE_MODE(mode) mode

std::FILE* open_path(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

int remove_file(const std::string& path) {
    return std::remove(path.c_str());
}

void put_error(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

#endif

} // namespace

namespace {

void put_error(std::string text, const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    int size = std::vsnprintf(nullptr, 0, format, args);
    size_t head = text.size();
    text.resize(head + static_cast<size_t>(std::max(size, 0)) + 1);
    std::vsnprintf(text.data() + head, text.size() - head, format, again);
    va_end(again);
    text.back() = '\n';
    put_error(text);
}

} // namespace

void complain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    put_error("keywatch-log: ", format, args);
    va_end(args);
}

void note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    put_error("", format, args);
    va_end(args);
}

namespace {

// ---- What the system says about a file -------------------------------------------

// Which file an open stream or a path is, for regular files only: two names
// (a link, "dir/../file", standard output redirected) may be one file.
struct Identity {
    bool known = false;
    uint64_t volume = 0, index = 0;
    bool same_as(const Identity& other) const {
        return known && other.known && volume == other.volume && index == other.index;
    }
};

// How a path given with -o is written.
enum class Target {
    replace,  // a regular file, or none yet: through a temporary file beside it
    direct,   // a device, a pipe, a dangling link: written as it is
    directory // refused
};

#ifdef _WIN32

Identity identity_of(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return {};
    return {true, info.dwVolumeSerialNumber,
            (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

HANDLE open_for_query(const std::string& path) {
    return CreateFileW(to_wide(path).c_str(), 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

Identity identity_of(std::FILE* file) {
    return identity_of(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

Identity identity_of(const std::string& path) {
    HANDLE handle = open_for_query(path);
    Identity identity = identity_of(handle);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return identity;
}

Target target_of(std::string& path) {
    HANDLE handle = open_for_query(path);
    if (handle == INVALID_HANDLE_VALUE)
        return Target::replace; // none yet, or a folder that is not there (said on creating)
    Target target = Target::direct;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info))
        target = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Target::directory
                                                                         : Target::replace;
    CloseHandle(handle);
    return target;
}

// Sharing deletion, so that an interrupted run can delete it while it is
// open (see remove_pending_temp). errno as _wopen would set it.
int create_new(const std::string& path, int /*mode*/) {
    HANDLE handle = CreateFileW(to_wide(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        switch (GetLastError()) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            errno = ENOENT;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_WRITE_PROTECT:
            errno = EROFS;
            break;
        default: // refused: access, sharing, a lock
            errno = EACCES;
        }
        return -1;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0)
        CloseHandle(handle);
    return fd;
}

int process_id() {
    return _getpid();
}

// MoveFileEx replaces an existing file, which rename() on Windows does not.
bool replace_file(const std::string& from, const std::string& to, std::string& reason) {
    if (MoveFileExW(to_wide(from).c_str(), to_wide(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    char text[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, GetLastError(), 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == '.' || text[length - 1] == ' '))
        text[--length] = '\0';
    reason = length > 0 ? text : "the system gave no reason";
    return false;
}

#else

Identity identity_of(const struct stat& st) {
    if (!S_ISREG(st.st_mode))
        return {};
    return {true, static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

Identity identity_of(std::FILE* file) {
    struct stat st;
    return fstat(fileno(file), &st) == 0 ? identity_of(st) : Identity{};
}

Identity identity_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? identity_of(st) : Identity{};
}

// Follows a symbolic link, so that the file it names is replaced, not the
// link; a link to nothing is written through, as fopen would.
Target target_of(std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = realpath(path.c_str(), nullptr);
        if (real == nullptr)
            return Target::direct;
        path = real;
        std::free(real);
    }
    if (stat(path.c_str(), &st) != 0)
        return Target::replace;
    if (S_ISDIR(st.st_mode))
        return Target::directory;
    return S_ISREG(st.st_mode) ? Target::replace : Target::direct;
}

int create_new(const std::string& path, int mode) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    // A file replaced keeps its permissions.
    if (fd >= 0 && mode >= 0)
        fchmod(fd, static_cast<mode_t>(mode));
    return fd;
}

int process_id() {
    return static_cast<int>(getpid());
}

bool replace_file(const std::string& from, const std::string& to, std::string& reason) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    reason = std::strerror(errno);
    return false;
}

#endif

// Refuses an output that is the file being read: it would be emptied before
// it is read, or grow as it is read.
bool is_input(const Input& input, const Identity& output, const std::string& shown) {
    if (input.file() == nullptr || !identity_of(input.file()).same_as(output))
        return false;
    complain("will not write to %s: it is the file being read", shown.c_str());
    return true;
}

int existing_mode([[maybe_unused]] const std::string& path) {
#ifdef _WIN32
    return -1;
#else
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
#endif
}

} // namespace

// ---- Input ------------------------------------------------------------------------

#ifdef _WIN32

bool file_exists(const std::string& path) {
    return GetFileAttributesW(to_wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool is_file(const std::string& path) {
    DWORD attributes = GetFileAttributesW(to_wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

#else

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool is_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

#endif

Input::~Input() {
    close();
}

void Input::close() {
    if (file_ != nullptr && !is_stdin_)
        std::fclose(file_);
    file_ = nullptr;
}

bool Input::open(const std::string& path, bool say_why) {
    close();
    error_ = 0;
    is_stdin_ = path == "-";
    if (is_stdin_) {
        name_ = "(standard input)";
        file_ = stdin;
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        return true;
    }
    name_ = path;
    file_ = open_path(path, FILE_MODE("rb"));
    if (file_ == nullptr) {
        error_ = errno;
        if (say_why)
            complain("cannot open %s: %s", path.c_str(), std::strerror(error_));
        return false;
    }
    // The line reader asks for large blocks; they need no second buffer.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
}

// ---- Output -----------------------------------------------------------------------

Output::Output() : buffer_(new char[capacity]) {}

Output::~Output() {
    if (file_ != nullptr)
        discard();
}

bool Output::open_stdout(const Input& input, bool text) {
    name_ = "standard output";
    to_stdout_ = true;
    if (is_input(input, identity_of(stdout), name_))
        return false;
    file_ = stdout;
#ifdef _WIN32
    _setmode(_fileno(stdout), text ? _O_TEXT : _O_BINARY);
#else
    (void)text;
#endif
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    return true;
}

bool Output::open_file(const std::string& path, const Input& input) {
    if (path.empty() || path == "-")
        return open_stdout(input, false);
    name_ = path;
    if (is_input(input, identity_of(path), path))
        return false;
    std::string target = path;
    switch (target_of(target)) {
    case Target::directory:
        complain("cannot write %s: %s", path.c_str(), std::strerror(EISDIR));
        return false;
    case Target::direct:
        file_ = open_path(path, FILE_MODE("wb"));
        break;
    case Target::replace: {
        int mode = existing_mode(target);
        int fd = -1;
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            temp_ = target + "." + std::to_string(process_id()) +
                    (attempt > 0 ? "-" + std::to_string(attempt) : "") + ".tmp";
            fd = create_new(temp_, mode);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd >= 0) {
            path_ = target;
            remember_temp(temp_);
#ifdef _WIN32
            file_ = _fdopen(fd, "wb");
#else
            file_ = fdopen(fd, "wb");
#endif
        } else {
            temp_.clear();
        }
        break;
    }
    }
    if (file_ == nullptr) {
        complain("cannot write %s: %s", path.c_str(), std::strerror(errno));
        if (!temp_.empty())
            remove_file(temp_);
        temp_.clear();
        return false;
    }
    owned_ = true;
    std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
}

void Output::put_int(int64_t value) {
    if (capacity - used_ < 24)
        flush();
    used_ = static_cast<size_t>(
        std::to_chars(buffer_.get() + used_, buffer_.get() + capacity, value).ptr - buffer_.get());
}

void Output::put_time(int64_t micros) {
    if (capacity - used_ < max_time_chars)
        flush();
    used_ += static_cast<size_t>(format_time(buffer_.get() + used_, micros));
}

void Output::note_failure() {
    int error = errno;
#ifdef _WIN32
    DWORD why = GetLastError();
    if (why == ERROR_BROKEN_PIPE || why == ERROR_NO_DATA || why == ERROR_PIPE_NOT_CONNECTED)
        error = EPIPE;
#endif
    if (error == EPIPE)
        closed_pipe_ = true;
    else if (error_ == 0)
        error_ = error != 0 ? error : EIO;
}

void Output::write_out(const char* data, size_t size) {
    if (failed() || file_ == nullptr || size == 0)
        return;
    errno = 0;
#ifdef _WIN32
    SetLastError(0);
#endif
    if (std::fwrite(data, 1, size, file_) != size)
        note_failure();
}

bool Output::flush() {
    write_out(buffer_.get(), used_);
    used_ = 0;
    return !failed();
}

bool Output::reader_gone() {
#ifdef _WIN32
    return closed_pipe_;
#else
    if (file_ == stdout && !closed_pipe_) {
        // A pipe whose reading end is closed polls as an error.
        pollfd out{STDOUT_FILENO, 0, 0};
        if (poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0)
            closed_pipe_ = true;
    }
    return closed_pipe_;
#endif
}

int Output::close(int status) {
    flush();
    if (file_ != nullptr) {
        errno = 0;
        if ((owned_ ? std::fclose(file_) : std::fflush(file_)) != 0 && !failed())
            note_failure();
        file_ = nullptr;
        owned_ = false;
    }
    std::string reason;
    if (!failed() && !temp_.empty() && !replace_file(temp_, path_, reason)) {
        complain("cannot write %s: %s", name_.c_str(), reason.c_str());
        remove_file(temp_);
        temp_.clear();
        forget_temp();
        return 2;
    }
    if (failed() && !temp_.empty())
        remove_file(temp_);
    temp_.clear();
    forget_temp();
    if (closed_pipe_)
        return status;
    if (error_ != 0) {
        complain("cannot write %s%s: %s", to_stdout_ ? "to " : "", name_.c_str(),
                 std::strerror(error_));
        return 2;
    }
    return status;
}

void Output::discard() {
    used_ = 0;
    if (file_ != nullptr && owned_)
        std::fclose(file_);
    file_ = nullptr;
    owned_ = false;
    if (!temp_.empty())
        remove_file(temp_);
    temp_.clear();
    forget_temp();
}

} // namespace kwlog
