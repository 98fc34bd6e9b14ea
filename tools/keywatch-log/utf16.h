// Paths and texts are UTF-8 within keywatch-log. Windows' own calls for
// them take UTF-16 (the wide calls), which open any path whatever the
// user's code page; the C library's take the code page. So files are opened
// and removed here, by UTF-8 path, on both systems.
#pragma once

#include <cstdio>
#include <string>

namespace kwlog {

#ifdef _WIN32
std::wstring to_wide(const std::string& text);
std::string to_utf8(const wchar_t* wide);
#endif

// fopen() and remove() by a UTF-8 path.
std::FILE* open_path(const std::string& path, const char* mode);
int remove_path(const std::string& path);

} // namespace kwlog
