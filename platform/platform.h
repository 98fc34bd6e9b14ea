// The few Windows calls keywatch makes, under one name on both targets.
//
// On Windows this is <windows.h>, the C runtime's text-mode streams and the
// user's folder for the simulator's files (windows_platform.cpp). On Linux
// the same names are small stand-ins (linux_platform.cpp): a monotonic
// counter, the shared object's own path, a stdio stream whose line feeds
// reach the file as CR LF, and a user folder under $HOME, so that the module
// code and the log it writes read the same on both targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#ifdef _WIN32

#include <windows.h>

#define KEYWATCH_EXPORT __declspec(dllexport)

// The runtime's text mode already turns each line feed into CR LF.
inline FILE* open_text_stream(const char* path, const char* mode) {
    return fopen(path, mode);
}

#else // Linux stand-ins

#define KEYWATCH_EXPORT __attribute__((visibility("default")))
#define WINAPI

typedef int32_t BOOL;
typedef uint32_t DWORD;
typedef void* HINSTANCE;
typedef void* HMODULE;
typedef void* LPVOID;

union LARGE_INTEGER {
    int64_t QuadPart;
};

enum : DWORD {
    DLL_PROCESS_DETACH = 0,
    DLL_PROCESS_ATTACH = 1,
    DLL_THREAD_ATTACH = 2,
    DLL_THREAD_DETACH = 3,
};

// Nanoseconds of CLOCK_MONOTONIC, at a frequency of 1e9 counts per second.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

// Milliseconds of CLOCK_MONOTONIC_COARSE: as Windows' tick count, a clock
// of a few milliseconds' steps that costs next to nothing to read.
uint64_t GetTickCount64();

// The absolute path of the file holding `module` (any address inside it).
// A path longer than size - 1 is cut to fit and still terminated, and size
// is returned, as Windows does.
DWORD GetModuleFileNameA(HMODULE module, char* path, DWORD size);

// fopen() for modes "a" and "w" whose stream stores each '\n' as "\r\n". It
// is an ordinary buffered stdio stream: fflush(NULL) and fclose() reach it.
FILE* open_text_stream(const char* path, const char* mode);

#endif

// ---- The user's folder for the simulator's files -------------------------------
// The simulator keeps a folder in every user's Documents that it creates and
// writes itself, and that an unelevated program may always write, wherever
// the simulator is installed: Documents\Prepar3D v4 Files\ on Windows, with
// Documents found by its known-folder id (it may be redirected) and the path
// used in wide characters (a user name need not fit the ANSI code page);
// $HOME/Documents/Prepar3D v4 Files/ on Linux.

constexpr size_t USER_PATH_SIZE = 1024; // a path as text, terminator included
constexpr size_t REASON_SIZE = 256;     // the system's words for a failure

// Paths as text. On Windows that is the ANSI code page, which is what text
// of the simulator's interface is in: each name in a path that has
// characters the code page lacks is given in its short (8.3) form, and only
// a name without one (not made yet) keeps a '?' for each such character.

// Opens `name` in that folder with mode "a" or "w", as open_text_stream()
// does, after creating the folder if it is missing (on Linux Documents too;
// Windows gives every user a Documents folder). `path` receives the file's
// full path as text, whether or not it opens; on failure `reason` receives
// the system's words for it, without a final full stop. The file itself is
// opened by its path's wide characters on Windows.
FILE* open_user_text_stream(const char* name, const char* mode, char (&path)[USER_PATH_SIZE],
                            char (&reason)[REASON_SIZE]);

// The full path, as text, of `name` in the working folder.
void working_folder_path(const char* name, char (&path)[USER_PATH_SIZE]);

// The full path, as text, of the file holding `module`, cut to `size` - 1
// bytes where it is longer, and terminated.
void module_file_path(HMODULE module, char* path, size_t size);

// The system's words, as `reason` above, for the last stream operation that
// failed: read them before anything else can fail.
void describe_stream_failure(char (&reason)[REASON_SIZE]);

// The module's entry point. Windows calls it when it loads the DLL and
// refuses the DLL when it returns 0; on Linux it is the shared object's ELF
// entry point, which its loader calls after dlopen() in the same way.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

#ifdef __MINGW32__
#define KEYWATCH_PRINTF(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#else
#define KEYWATCH_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif
