// Opening the log: a file by its path, or standard input (see files.h).
#include "files.h"

#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace kwlog {

Input::~Input() {
    close();
}

void Input::close() {
    if (file_ != nullptr && !is_stdin_)
        std::fclose(file_);
    file_ = nullptr;
}

bool Input::open(const std::string& path, bool say_why) {
    close();
    error_ = 0;
    is_stdin_ = path == "-";
    if (is_stdin_) {
        name_ = "(standard input)";
        file_ = stdin;
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        return true;
    }
    name_ = path;
    file_ = open_path(path, "rb");
    if (file_ == nullptr) {
        error_ = errno;
        if (say_why)
            complain("cannot open %s: %s", path.c_str(), std::strerror(error_));
        return false;
    }
    // The line reader asks for large blocks; they need no second buffer.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
}

} // namespace kwlog
