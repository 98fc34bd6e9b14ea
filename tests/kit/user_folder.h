// The user's folder moved into a folder of one's own for a while. When the
// working folder refuses the log, the module writes it to "Prepar3D v4
// Files" in the user's Documents instead: no test may reach the real one,
// and a test that sends the log there must know where it goes.
//
// On Linux the module finds Documents under $HOME, so HOME is set. Under
// Wine, the project's prefix (cmake/wine-run.sh) keeps the Documents known
// folder at whatever the variable KEYWATCH_DOCUMENTS names, expanded for
// each process, so that variable is set; the module still asks Windows for
// the known folder, as on any machine.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

class UserFolder {
  public:
    // The user's folder becomes `home`, made if missing. Windows gives every
    // user a Documents folder, so it is made there too; on Linux the module
    // makes it when it needs it.
    explicit UserFolder(const std::filesystem::path& home)
        : documents_((home / "Documents").make_preferred()) {
#ifdef _WIN32
        std::filesystem::create_directories(documents_);
#else
        std::filesystem::create_directories(home);
#endif
#ifdef _WIN32
        // The runtime's own call, which sets Windows' copy of the variable
        // too, where the known folder is expanded from (and, unlike
        // <windows.h>, brings no macros that clash with the records' names).
        if (const wchar_t* old = _wgetenv(variable))
            previous_ = old;
        _wputenv((std::wstring(variable) + L"=" + documents_.wstring()).c_str());
#else
        if (const char* old = std::getenv(variable))
            previous_ = old;
        setenv(variable, home.c_str(), 1);
#endif
    }
    ~UserFolder() {
#ifdef _WIN32
        _wputenv((std::wstring(variable) + L"=" + previous_.value_or(L"")).c_str()); // empty: unset
#else
        if (previous_)
            setenv(variable, previous_->c_str(), 1);
        else
            unsetenv(variable);
#endif
    }
    UserFolder(const UserFolder&) = delete;
    UserFolder& operator=(const UserFolder&) = delete;

    const std::filesystem::path& documents() const {
        return documents_;
    }
    // Where the module puts the log when the working folder refuses it.
    std::filesystem::path log() const {
        return documents_ / "Prepar3D v4 Files" / "Key_Events_Sent.log";
    }

  private:
#ifdef _WIN32
    static constexpr const wchar_t* variable = L"KEYWATCH_DOCUMENTS";
    std::optional<std::wstring> previous_;
#else
    static constexpr const char* variable = "HOME";
    std::optional<std::string> previous_;
#endif
    std::filesystem::path documents_;
};
