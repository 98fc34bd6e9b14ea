// Writing a file whole or not at all (see atomic_replace.h).
#include "atomic_replace.h"
#include "file_identity.h"
#include "signals.h"
#include "utf16.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>

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

// A read-only file is refused, as cmd's > refuses it (MoveFileEx would
// too, but only once the whole output is written).
bool may_write(const std::string& path) {
    DWORD attributes = GetFileAttributesW(to_wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return true;
    errno = EACCES;
    return false;
}

// A name's length as the file system counts it: in UTF-16 units.
size_t name_length(std::string_view name) {
    return to_wide(std::string(name)).size();
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

// The rename would replace a file whatever its mode, since only the folder's
// count; but a user who may not write the file (mode 444, say) has not let
// it be replaced, and the shell's > would refuse it.
bool may_write(const std::string& path) {
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

size_t name_length(std::string_view name) {
    return name.size();
}

bool replace_file(const std::string& from, const std::string& to, std::string& reason) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    reason = std::strerror(errno);
    return false;
}

#endif

// The longest name a folder may hold, in bytes on Linux (NAME_MAX) and in
// UTF-16 units on Windows.
constexpr size_t longest_name = 255;

// The part of `path` after its folder.
std::string_view name_of(const std::string& path) {
#ifdef _WIN32
    size_t slash = path.find_last_of("\\/:");
#else
    size_t slash = path.rfind('/');
#endif
    return slash == std::string::npos ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
}

// The temporary file for `target`: its name and ".PID.tmp" (".PID-N.tmp" on
// a retry), so that a user who finds one left knows whose it is; or, when
// that name would be too long for the folder, a short hidden one beside it,
// ".kwl-" and six random letters and digits, made new on each retry.
std::string temporary_name(const std::string& target, bool short_form, int attempt) {
    if (!short_form)
        return target + "." + std::to_string(process_id()) +
               (attempt > 0 ? "-" + std::to_string(attempt) : "") + ".tmp";
    static std::minstd_rand random(
        static_cast<unsigned>(std::random_device{}()) ^ static_cast<unsigned>(process_id()) ^
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".kwl-";
    for (int i = 0; i < 6; ++i)
        name += letters[random() % (sizeof letters - 1)];
    return target.substr(0, target.size() - name_of(target).size()) + name + ".tmp";
}

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
    refused_.clear();
    if (!may_write(target))
        return nullptr;
    int mode = existing_mode(target);
    SignalsHeld held; // until the file is in remove_if_interrupted()'s hands
    // ".PID.tmp" is 4 to 12 bytes more than the name.
    bool short_form = name_length(name_of(target)) + 12 > longest_name;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp_ = temporary_name(target, short_form, attempt);
        fd = create_new(temp_, mode);
        if (fd < 0 && errno == ENAMETOOLONG && !short_form) {
            short_form = true; // a file system of shorter names
            attempt = -1;
        } else if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        int error = errno;
        // A folder that is there but refuses the temporary file: the
        // cause is the folder, whatever the target's own permissions. A
        // target that is there has its folder there, even when that says
        // "no such file" of a new one (/proc).
        if ((error != ENOENT && error != ENOTDIR) || file_exists(target))
            refused_ = temp_;
        temp_.clear();
        errno = error;
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
