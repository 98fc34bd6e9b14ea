// UTF-8 paths on both systems (see utf16.h).
#include "utf16.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kwlog {

#ifdef _WIN32

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

std::FILE* open_path(const std::string& path, const char* mode) {
    return _wfopen(to_wide(path).c_str(), to_wide(mode).c_str());
}

int remove_path(const std::string& path) {
    return _wremove(to_wide(path).c_str());
}

#else

std::FILE* open_path(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

int remove_path(const std::string& path) {
    return std::remove(path.c_str());
}

#endif

} // namespace kwlog
