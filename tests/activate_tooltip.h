// What the Activate tooltip says about the log: where it is, or that it
// cannot be written, where and why, in the system's words for the failure
// (Windows' message for an error code, or the C library's for an errno
// value, on one line and without the final full stop). Include it after
// sim_fixture.h: <windows.h> has macros that share names with the records'.
#pragma once

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/system_words.h"

inline std::string system_words(DWORD code) {
    char text[256] = {};
    return std::string(text, system_words(code, text, sizeof text));
}
#else
inline std::string system_words(int error) {
    return std::strerror(error);
}
#endif

// Windows refuses to open a directory for writing as access denied.
#ifdef _WIN32
inline const std::string directory_refused = system_words(ERROR_ACCESS_DENIED);
#else
inline const std::string directory_refused = system_words(EISDIR);
#endif

inline std::string activate_with_log_at(const std::filesystem::path& log) {
    return "Activate (log: " + log.string() + ")";
}
inline std::string activate_with_no_log(const std::filesystem::path& log,
                                        const std::string& reason) {
    return "Activate (the log cannot be written: " + log.string() + ": " + reason + ")";
}
