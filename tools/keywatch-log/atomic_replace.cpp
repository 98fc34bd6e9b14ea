// Writing a file whole or not at all (see atomic_replace.h).
#include "atomic_replace.h"
#include "signals.h"
#include "utf16.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include "platform/system_words.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kwlog {
namespace {

#ifdef _WIN32

// Sharing deletion, so that an interrupted run can delete it while it is
// open (see signals.cpp). errno as _wopen would set it.
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

std::FILE* stream_of(int fd) {
    return _fdopen(fd, "wb");
}

int process_id() {
    return _getpid();
}

// Windows keeps no permissions of this kind: the new file gets the folder's.
int existing_mode(const std::string&) {
    return -1;
}

// MoveFileEx replaces an existing file, which rename() on Windows does not.
bool replace_file(const std::string& from, const std::string& to, std::string& reason) {
    if (MoveFileExW(to_wide(from).c_str(), to_wide(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    char text[256] = "";
    reason =
        system_words(GetLastError(), text, sizeof text) > 0 ? text : "the system gave no reason";
    return false;
}

#else

int create_new(const std::string& path, int mode) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    // A file replaced keeps its permissions.
    if (fd >= 0 && mode >= 0)
        fchmod(fd, static_cast<mode_t>(mode));
    return fd;
}

std::FILE* stream_of(int fd) {
    return fdopen(fd, "wb");
}

int process_id() {
    return static_cast<int>(getpid());
}

int existing_mode(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

bool replace_file(const std::string& from, const std::string& to, std::string& reason) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    reason = std::strerror(errno);
    return false;
}

#endif

} // namespace

#ifdef _WIN32

Target target_of(std::string& path) {
    HANDLE handle = CreateFileW(to_wide(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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

#else

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

#endif

std::FILE* Replacement::create(const std::string& target) {
    abandon();
    int mode = existing_mode(target);
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp_ = target + "." + std::to_string(process_id()) +
                (attempt > 0 ? "-" + std::to_string(attempt) : "") + ".tmp";
        fd = create_new(temp_, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        temp_.clear();
        return nullptr;
    }
    target_ = target;
    remove_if_interrupted(temp_);
    std::FILE* file = stream_of(fd);
    if (file == nullptr) {
        int error = errno;
        abandon();
        errno = error;
    }
    return file;
}

bool Replacement::commit(std::string& reason) {
    bool done = replace_file(temp_, target_, reason);
    if (!done)
        remove_path(temp_);
    temp_.clear();
    keep_if_interrupted();
    return done;
}

void Replacement::abandon() {
    if (temp_.empty())
        return;
    remove_path(temp_);
    temp_.clear();
    keep_if_interrupted();
}

} // namespace kwlog
