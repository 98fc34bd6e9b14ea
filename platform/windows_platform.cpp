// The Windows side of the user's folder for the simulator's files: Documents
// from its known-folder id, the folder made where it is missing, and the file
// opened by its wide-character path; and paths turned into text of the ANSI
// code page, short where the long form does not fit it.
#ifdef _WIN32

#include "platform/platform.h"
#include "platform/system_words.h"

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
    if (system_words(code, reason, sizeof reason) == 0)
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

// ---- Paths as text ----------------------------------------------------------------

// Whether the code page holds all `length` characters of `text`.
static bool fits_code_page(const wchar_t* text, size_t length) {
    char bytes[WIDE_PATH_SIZE * 2];
    BOOL lossy = FALSE;
    return length == 0 || (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, (int)length,
                                               bytes, sizeof bytes, nullptr, &lossy) != 0 &&
                           !lossy);
}

// `wide` with each name in it that the code page cannot hold replaced by
// its short (8.3) name, which Windows makes of ASCII: the rest stays as the
// user knows it. A file or folder that does not exist has no short name
// and keeps its own.
static void shorten_names(const wchar_t* wide, wchar_t (&out)[WIDE_PATH_SIZE]) {
    const size_t length = wcsnlen(wide, WIDE_PATH_SIZE - 1);
    size_t used = 0;
    for (size_t start = 0; start <= length;) {
        size_t end = start;
        while (end < length && wide[end] != L'\\')
            end++;
        const wchar_t* name = wide + start;
        size_t name_length = end - start;
        wchar_t leading[WIDE_PATH_SIZE], shortened[WIDE_PATH_SIZE];
        if (!fits_code_page(name, name_length)) {
            memcpy(leading, wide, end * sizeof(wchar_t)); // the path up to this name
            leading[end] = L'\0';
            const DWORD made = GetShortPathNameW(leading, shortened, WIDE_PATH_SIZE);
            if (made > 0 && made < WIDE_PATH_SIZE) {
                const wchar_t* last = wcsrchr(shortened, L'\\');
                name = last != nullptr ? last + 1 : shortened;
                name_length = wcslen(name);
            }
        }
        const size_t separator = end < length ? 1 : 0;
        if (used + name_length + separator >= WIDE_PATH_SIZE)
            break;
        memcpy(out + used, name, name_length * sizeof(wchar_t));
        used += name_length;
        if (separator != 0)
            out[used++] = L'\\';
        start = end + 1;
    }
    out[used] = L'\0';
}

// `wide` as text in the ANSI code page, each name it cannot hold in its
// short form; a character left over shows as '?'. Empty if it does not fit.
static void ansi_path(const wchar_t* wide, char (&path)[USER_PATH_SIZE]) {
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, path, sizeof path, nullptr,
                            &lossy) != 0 &&
        !lossy)
        return;
    wchar_t shorter[WIDE_PATH_SIZE];
    shorten_names(wide, shorter);
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, shorter, -1, path, sizeof path, nullptr,
                            nullptr) == 0)
        path[0] = '\0';
}

void working_folder_path(const char* name, char (&path)[USER_PATH_SIZE]) {
    wchar_t relative[WIDE_PATH_SIZE] = L"";
    size_t used = 0;
    wchar_t full[WIDE_PATH_SIZE];
    const DWORD length = append_ascii(relative, used, name)
                             ? GetFullPathNameW(relative, WIDE_PATH_SIZE, full, nullptr)
                             : 0;
    if (length == 0 || length >= WIDE_PATH_SIZE)
        snprintf(path, sizeof path, ".\\%s", name);
    else
        ansi_path(full, path);
}

void module_file_path(HMODULE module, char* path, size_t size) {
    if (size == 0)
        return;
    wchar_t wide[WIDE_PATH_SIZE];
    const DWORD length = GetModuleFileNameW(module, wide, WIDE_PATH_SIZE);
    char text[USER_PATH_SIZE] = "";
    if (length > 0 && length < WIDE_PATH_SIZE)
        ansi_path(wide, text);
    snprintf(path, size, "%s", text);
}

// The runtime keeps the system's own error code beside errno when a call
// into the system failed; errno alone when the failure was its own.
void describe_stream_failure(char (&reason)[REASON_SIZE]) {
    const int error = errno;
    if (_doserrno != 0)
        describe_error((DWORD)_doserrno, reason);
    else
        snprintf(reason, sizeof reason, "%s", strerror(error));
}

// ---- The user's folder ---------------------------------------------------------------

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
    ansi_path(wide, path); // until the folder is made, Documents' own short form at best

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
    if (stream == nullptr)
        describe_stream_failure(reason);
    ansi_path(wide, path); // the file's own short name, now that it may have one
    return stream;
}

#endif
