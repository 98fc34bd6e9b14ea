// Linux stand-ins for the Windows calls declared in platform.h, and the unload
// hook that closes the log stream as the Windows runtime does.
#ifndef _WIN32

#include "platform/platform.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <iterator>

// ---- Counter -----------------------------------------------------------------

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    count->QuadPart = (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
    return 1;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = 1000000000;
    return 1;
}

uint64_t GetTickCount64() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return (uint64_t)now.tv_sec * 1000 + (uint64_t)now.tv_nsec / 1000000;
}

// ---- Module path -------------------------------------------------------------

DWORD GetModuleFileNameA(HMODULE module, char* path, DWORD size) {
    if (size == 0)
        return 0;
    Dl_info info;
    const char* name = nullptr;
    if (dladdr(module, &info) != 0 && info.dli_fname != nullptr && info.dli_fname[0] != '\0')
        name = info.dli_fname;
    // dlopen() keeps the name it was given, and the main program has no name
    // of its own in dladdr: report an absolute path, as Windows does.
    char resolved[PATH_MAX];
    if (name == nullptr || name[0] != '/') {
        if (realpath(name != nullptr ? name : "/proc/self/exe", resolved) != nullptr)
            name = resolved;
    }
    if (name == nullptr) {
        path[0] = '\0';
        return 0;
    }
    size_t length = strlen(name);
    if (length >= size) {
        memcpy(path, name, size - 1);
        path[size - 1] = '\0';
        return size;
    }
    memcpy(path, name, length + 1);
    return (DWORD)length;
}

// ---- Text-mode stream --------------------------------------------------------

// The stream keeps a file descriptor; stdio does the buffering and hands each
// full buffer to text_write, which expands line feeds on the way out.
struct TextFile {
    int fd;       // the open file
    FILE* stream; // its stdio stream; null while the slot is free
};

static TextFile text_files[4]; // the module keeps one stream open at a time

static bool write_fully(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t done = write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += done;
        size -= (size_t)done;
    }
    return true;
}

static ssize_t text_write(void* cookie, const char* data, size_t size) {
    TextFile* file = (TextFile*)cookie;
    char out[2048];
    size_t used = 0;
    for (size_t i = 0; i < size; i++) {
        if (used + 2 > sizeof out) {
            if (!write_fully(file->fd, out, used))
                return -1;
            used = 0;
        }
        if (data[i] == '\n')
            out[used++] = '\r';
        out[used++] = data[i];
    }
    if (used > 0 && !write_fully(file->fd, out, used))
        return -1;
    return (ssize_t)size;
}

static int text_close(void* cookie) {
    TextFile* file = (TextFile*)cookie;
    int result = close(file->fd);
    file->fd = -1;
    file->stream = nullptr;
    return result;
}

FILE* open_text_stream(const char* path, const char* mode) {
    int flags;
    if (strcmp(mode, "a") == 0)
        flags = O_WRONLY | O_CREAT | O_APPEND;
    else if (strcmp(mode, "w") == 0)
        flags = O_WRONLY | O_CREAT | O_TRUNC;
    else {
        errno = EINVAL;
        return nullptr;
    }
    TextFile* file = text_files;
    while (file < std::end(text_files) && file->stream != nullptr)
        file++;
    if (file == std::end(text_files)) {
        errno = EMFILE;
        return nullptr;
    }
    int fd = open(path, flags | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    cookie_io_functions_t io = {nullptr, text_write, nullptr, text_close};
    FILE* stream = fopencookie(file, "w", io);
    if (stream == nullptr) {
        close(fd);
        return nullptr;
    }
    file->fd = fd;
    file->stream = stream;
    return stream;
}

// ---- The user's folder ----------------------------------------------------------

static void describe_errno(int error, char (&reason)[REASON_SIZE]) {
    snprintf(reason, sizeof reason, "%s", strerror(error));
}

FILE* open_user_text_stream(const char* name, const char* mode, char (&path)[USER_PATH_SIZE],
                            char (&reason)[REASON_SIZE]) {
    reason[0] = '\0';
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        snprintf(path, sizeof path, "$HOME/Documents/Prepar3D v4 Files/%s", name);
        snprintf(reason, sizeof reason, "HOME is not set");
        return nullptr;
    }
    size_t home_length = strlen(home);
    while (home_length > 0 && home[home_length - 1] == '/') // "/" and "/root/" alike
        home_length--;
    int length = snprintf(path, sizeof path, "%.*s/Documents/Prepar3D v4 Files/%s",
                          (int)home_length, home, name);
    if (length < 0 || (size_t)length >= sizeof path) {
        describe_errno(ENAMETOOLONG, reason);
        return nullptr;
    }
    // A home need not have a Documents folder: make each folder below $HOME
    // that is missing, one level at a time.
    for (char* slash = path + home_length + 1; (slash = strchr(slash, '/')) != nullptr; slash++) {
        *slash = '\0';
        int made = mkdir(path, 0777);
        int error = errno;
        *slash = '/';
        if (made != 0 && error != EEXIST) {
            describe_errno(error, reason);
            return nullptr;
        }
    }
    FILE* stream = open_text_stream(path, mode);
    if (stream == nullptr)
        describe_errno(errno, reason);
    return stream;
}

// ---- Paths and failures -----------------------------------------------------------

// A folder whose path does not fit is named by its place, as "." does.
void working_folder_path(const char* name, char (&path)[USER_PATH_SIZE]) {
    if (getcwd(path, sizeof path) == nullptr)
        snprintf(path, sizeof path, ".");
    const size_t length = strlen(path);
    const char* slash = path[length - 1] == '/' ? "" : "/";
    if ((size_t)snprintf(path + length, sizeof path - length, "%s%s", slash, name) >=
        sizeof path - length)
        snprintf(path, sizeof path, "./%s", name);
}

// Bytes, as the file system has them: nothing to convert.
void module_file_path(HMODULE module, char* path, size_t size) {
    GetModuleFileNameA(module, path, (DWORD)size);
}

void describe_stream_failure(char (&reason)[REASON_SIZE]) {
    describe_errno(errno, reason);
}

// ---- Load and unload ---------------------------------------------------------

// No constructor calls DllMain: it is the shared object's ELF entry point (the
// build sets it), which the loader calls after dlopen() as Windows calls a
// DLL's, so that a DllMain that fails can fail the load.

// A stream left open at unload would keep pointers into this unloaded code;
// close it here, as the Windows runtime flushes and closes its streams.
__attribute__((destructor)) static void module_unloaded() {
    for (TextFile& file : text_files)
        if (file.stream != nullptr)
            fclose(file.stream);
}

#endif
