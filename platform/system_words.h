// The system's words for a Windows error code, as FormatMessage gives them,
// on one line and without the final full stop, so that they read well
// inside a sentence ("cannot write FILE: Access is denied"). One trimming
// for all who say them: the module's tooltip, the stand-in simulator,
// keywatch-log and the tests that expect them. Plain C-style, without
// allocation, for the module.
#pragma once

#ifdef _WIN32

#include <windows.h>

// Writes the words for `code` to `text` (`size` bytes, terminated) and
// returns their length: 0 when the system has none.
inline DWORD system_words(DWORD code, char* text, DWORD size) {
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, size, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == ' ' || text[length - 1] == '.'))
        text[--length] = '\0';
    if (length == 0 && size > 0)
        text[0] = '\0';
    return length;
}

#endif
