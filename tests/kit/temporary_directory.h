// A folder of one's own under the system's temporary folder, and the
// working directory moved into a folder for a while. The module writes its
// log to a relative path, so every test, fuzz input and benchmark round that
// runs it does so in a fresh working directory; this is the one way they
// make one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
// Declared here rather than through <windows.h>, whose macros clash with the
// names of the simulator's records in the files that include this one.
extern "C" __declspec(dllimport) unsigned long __stdcall GetFileAttributesW(const wchar_t* name);
#endif

// Removes `path` with all it holds, but never what a link inside it points
// at. Under Wine a symbolic link to a Unix folder (Wine makes them for the
// user's known folders, to the Unix home) is a plain directory to
// std::filesystem, whose remove_all would go on to empty the folder it
// points at: such a link is left where it is, and the folder around it too.
inline void remove_tree(const std::filesystem::path& path) {
    std::error_code ignored;
#ifdef _WIN32
    const unsigned long attributes = GetFileAttributesW(path.c_str());
    const unsigned long reparse_point = 0x400; // FILE_ATTRIBUTE_REPARSE_POINT
    const bool link = attributes != 0xFFFFFFFF && (attributes & reparse_point) != 0;
    if (!link && std::filesystem::is_directory(path, ignored))
        for (const auto& entry : std::filesystem::directory_iterator(path, ignored))
            remove_tree(entry.path());
    std::filesystem::remove(path, ignored);
#else
    std::filesystem::remove_all(path, ignored); // which never follows a link
#endif
}

// A new, empty directory with a name of its own (PREFIX and a random
// number, so that parallel runs never share one), removed with all it
// holds when the object goes (remove_tree). Throws
// std::filesystem::filesystem_error when it cannot be made.
class TemporaryDirectory {
  public:
    explicit TemporaryDirectory(const std::string& prefix) {
        std::random_device seed;
        std::mt19937_64 random((uint64_t(seed()) << 32) ^ seed());
        const std::filesystem::path parent = std::filesystem::temp_directory_path();
        do
            path_ = parent / (prefix + std::to_string(random() % 1000000000u));
        while (!std::filesystem::create_directory(path_)); // false: the name is taken
    }
    ~TemporaryDirectory() {
        remove_tree(path_);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const {
        return path_;
    }

  private:
    std::filesystem::path path_;
};

// The process's working directory moved to `directory` for the life of the
// object, then back where it was.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::filesystem::path& directory)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~WorkingDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  private:
    std::filesystem::path previous_;
};
