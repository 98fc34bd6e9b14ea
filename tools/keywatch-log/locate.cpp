// Finding the log when no file is named (see locate.h).
#include "locate.h"
#include "files.h"
#include "logformat/record_formats.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#endif

namespace kwlog {
namespace {

const char* const log_name = LOG_FILE_NAME;

#ifdef _WIN32
const char separator = '\\';

// The Documents known folder (it may be moved, to OneDrive or another
// drive, so it is asked for rather than built from the user's profile).
std::string documents_folder() {
    wchar_t* path = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, &path) == S_OK)
        folder = to_utf8(path);
    CoTaskMemFree(path);
    return folder;
}

// A text value of the registry, or "" when it is not there. One with
// %VARIABLES% comes expanded (and counts as plain text).
std::string registry_text(HKEY root, const wchar_t* key, const wchar_t* value) {
    DWORD size = 0;
    const DWORD types = RRF_RT_REG_SZ;
    if (RegGetValueW(root, key, value, types, nullptr, nullptr, &size) != ERROR_SUCCESS ||
        size == 0)
        return "";
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(root, key, value, types, nullptr, text.data(), &size) != ERROR_SUCCESS)
        return "";
    text.resize(wcsnlen(text.c_str(), text.size()));
    return to_utf8(text.c_str());
}
#else
const char separator = '/';

std::string documents_folder() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? std::string(home) + "/Documents" : "";
}
#endif

std::string joined(std::string folder, const std::string& name) {
    if (!folder.empty() && folder.back() != separator && folder.back() != '/')
        folder += separator;
    return folder + name;
}

} // namespace

std::string find_log(std::vector<std::string>& looked) {
    std::vector<std::string> places;
    places.push_back(log_name);
    looked.push_back(std::string(log_name) + " (the current folder)");
    std::string documents = documents_folder();
    if (documents.empty()) {
#ifdef _WIN32
        looked.push_back("the Documents folder (Windows does not say where it is)");
#else
        looked.push_back("$HOME/Documents (HOME is not set)");
#endif
    } else {
        places.push_back(joined(joined(documents, "Prepar3D v4 Files"), log_name));
        looked.push_back(places.back());
    }
#ifdef _WIN32
    struct Setting {
        HKEY root;
        const wchar_t* key;
        const wchar_t* value;
        const char* shown;
    };
    const Setting settings[] = {
        {HKEY_CURRENT_USER, L"Software\\Lockheed Martin\\Prepar3D v4", L"AppPath",
         "HKEY_CURRENT_USER\\Software\\Lockheed Martin\\Prepar3D v4, value AppPath"},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Lockheed Martin\\Prepar3D v4", L"SetupPath",
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v4, value SetupPath"},
    };
    for (const Setting& setting : settings) {
        std::string folder = registry_text(setting.root, setting.key, setting.value);
        if (folder.empty()) {
            looked.push_back(std::string("the simulator's folder: not in the registry (") +
                             setting.shown + ")");
            continue;
        }
        places.push_back(joined(folder, log_name));
        looked.push_back(places.back() + " (" + setting.shown + ")");
    }
#endif
    for (const std::string& place : places)
        if (is_file(place))
            return place;
    return "";
}

std::string find_log_or_say(const std::string& command) {
    std::vector<std::string> looked;
    std::string found = find_log(looked);
    if (!found.empty()) {
        complain("reading %s", found.c_str());
        return found;
    }
    std::string places;
    for (const std::string& place : looked)
        places += "\n  " + place;
    complain("found no %s; looked in:%s\nName the log's file: keywatch-log %s FILE", log_name,
             places.c_str(), command.c_str());
    return "";
}

} // namespace kwlog
