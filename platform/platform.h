// The few Windows calls keywatch makes, under one name on both targets.
//
// On Windows this is <windows.h> and the C runtime's text-mode streams. On
// Linux the same names are small stand-ins (linux_platform.cpp): a monotonic
// counter, the shared object's own path, and a stdio stream whose line feeds
// reach the file as CR LF, so that the module code and the log it writes read
// the same on both targets.
#pragma once

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

// The absolute path of the file holding `module` (any address inside it).
// A path longer than size - 1 is cut to fit and still terminated, and size
// is returned, as Windows does.
DWORD GetModuleFileNameA(HMODULE module, char* path, DWORD size);

// fopen() for modes "a" and "w" whose stream stores each '\n' as "\r\n". It
// is an ordinary buffered stdio stream: fflush(NULL) and fclose() reach it.
FILE* open_text_stream(const char* path, const char* mode);

#endif

// The module's entry point. Windows calls it when it loads the DLL and
// refuses the DLL when it returns 0; on Linux it is the shared object's ELF
// entry point, which its loader calls after dlopen() in the same way.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

#ifdef __MINGW32__
#define KEYWATCH_PRINTF(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#else
#define KEYWATCH_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif
