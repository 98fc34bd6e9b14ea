// Files as the system knows them (see file_identity.h).
#include "file_identity.h"

#ifdef _WIN32
#include "utf16.h"

#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace kwlog {

#ifdef _WIN32

namespace {

Identity identity_of(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return {};
    return {true, info.dwVolumeSerialNumber,
            (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

} // namespace

bool file_exists(const std::string& path) {
    return GetFileAttributesW(to_wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool is_file(const std::string& path) {
    DWORD attributes = GetFileAttributesW(to_wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

Identity identity_of(std::FILE* file) {
    return identity_of(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

Identity identity_of(const std::string& path) {
    HANDLE handle = CreateFileW(to_wide(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    Identity identity = identity_of(handle);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return identity;
}

#else

namespace {

Identity identity_of(const struct stat& st) {
    if (!S_ISREG(st.st_mode))
        return {};
    return {true, static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

} // namespace

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool is_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

Identity identity_of(std::FILE* file) {
    struct stat st;
    return fstat(fileno(file), &st) == 0 ? identity_of(st) : Identity{};
}

Identity identity_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? identity_of(st) : Identity{};
}

#endif

} // namespace kwlog
