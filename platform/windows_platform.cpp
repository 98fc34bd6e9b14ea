// The Windows side of the user's folder for the simulator's files: Documents
// from its known-folder id, the folder made where it is missing, and the file
// opened by its wide-character path.
#ifdef _WIN32

#include "platform/platform.h"

#include <errno.h>
#include <initguid.h> // FOLDERID_Documents defined here, not taken from a library
#include <knownfolders.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

static const wchar_t USER_FOLDER_NAME[] = L"\\Prepar3D v4 Files";

// Room for any path whose text fits USER_PATH_SIZE bytes: no character of
// an ANSI code page takes more than two.
constexpr size_t WIDE_PATH_SIZE = USER_PATH_SIZE / 2;

// The system's words for `code`, on one line and without the final full
// stop, so that they read well inside a sentence.
static void describe_error(DWORD code, char (&reason)[REASON_SIZE]) {
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reason, sizeof reason, nullptr);
    while (length > 0 && strchr("\r\n .", reason[length - 1]) != nullptr)
        reason[--length] = '\0';
    if (length == 0)
        snprintf(reason, sizeof reason, "error 0x%08lX", (unsigned long)code);
}

// Appends `text` to `path`; false when it does not fit.
static bool append(wchar_t (&path)[WIDE_PATH_SIZE], size_t& used, const wchar_t* text) {
    size_t length = wcslen(text);
    if (used + length >= WIDE_PATH_SIZE)
        return false;
    memcpy(path + used, text, (length + 1) * sizeof(wchar_t));
    used += length;
    return true;
}

// The same for ASCII text.
static bool append_ascii(wchar_t (&path)[WIDE_PATH_SIZE], size_t& used, const char* text) {
    wchar_t wide[64];
    size_t i = 0;
    for (; text[i] != '\0' && i + 1 < sizeof wide / sizeof wide[0]; i++)
        wide[i] = (wchar_t)(unsigned char)text[i];
    wide[i] = L'\0';
    return text[i] == '\0' && append(path, used, wide);
}

FILE* open_user_text_stream(const char* name, const char* mode, char (&path)[USER_PATH_SIZE],
                            char (&reason)[REASON_SIZE]) {
    reason[0] = '\0';
    snprintf(path, sizeof path, "Documents\\Prepar3D v4 Files\\%s", name); // until known

    // The folder the user knows as Documents, wherever it was redirected.
    // Windows makes it for every user; where it is missing all the same,
    // that is the reason given, and nothing is made in its place.
    wchar_t* documents = nullptr;
    HRESULT found = SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents);
    wchar_t wide[WIDE_PATH_SIZE];
    size_t used = 0;
    bool fits = SUCCEEDED(found) && append(wide, used, documents);
    CoTaskMemFree(documents);
    if (FAILED(found)) {
        describe_error(
            HRESULT_FACILITY(found) == FACILITY_WIN32 ? HRESULT_CODE(found) : (DWORD)found, reason);
        return nullptr;
    }
    fits = fits && append(wide, used, USER_FOLDER_NAME);
    const size_t folder_end = used;
    fits = fits && append(wide, used, L"\\") && append_ascii(wide, used, name);
    if (!fits) {
        describe_error(ERROR_FILENAME_EXCED_RANGE, reason);
        return nullptr;
    }
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, path, sizeof path, nullptr,
                            nullptr) == 0)
        path[0] = '\0';

    wide[folder_end] = L'\0';
    if (!CreateDirectoryW(wide, nullptr)) {
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            describe_error(error, reason);
            return nullptr;
        }
    }
    wide[folder_end] = L'\\';

    // The same stream fopen() gives (text mode, shared for reading and
    // writing), through the path's wide characters.
    const wchar_t* wide_mode = strcmp(mode, "a") == 0   ? L"a"
                               : strcmp(mode, "w") == 0 ? L"w"
                                                        : nullptr;
    if (wide_mode == nullptr) {
        snprintf(reason, sizeof reason, "%s", strerror(EINVAL));
        return nullptr;
    }
    _doserrno = 0;
    errno = 0;
    FILE* stream = _wfopen(wide, wide_mode);
    if (stream == nullptr) {
        if (_doserrno != 0)
            describe_error((DWORD)_doserrno, reason);
        else
            snprintf(reason, sizeof reason, "%s", strerror(errno));
    }
    return stream;
}

#endif
