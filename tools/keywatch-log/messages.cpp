// Messages on standard error (see messages.h).
#include "messages.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include "utf16.h"

#include <windows.h>
#endif

namespace kwlog {
namespace {

#ifdef _WIN32

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

void put_error(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

#endif

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

} // namespace kwlog
