// Writing the output: standard output or a file given with -o, buffered,
// every write checked, and a reader that went away told from a failure (see
// files.h).
#include "files.h"
#include "records.h"

#include <cerrno>
#include <charconv>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace kwlog {
namespace {

// Refuses an output that is the file being read: it would be emptied before
// it is read, or grow as it is read.
bool is_input(const Input& input, const Identity& output, const std::string& shown) {
    if (input.file() == nullptr || !identity_of(input.file()).same_as(output))
        return false;
    complain("will not write to %s: it is the file being read", shown.c_str());
    return true;
}

} // namespace

// ---- Output -----------------------------------------------------------------------

Output::Output() : buffer_(new char[capacity]) {}

Output::~Output() {
    if (file_ != nullptr)
        discard();
}

bool Output::open_stdout(const Input& input, bool text) {
    name_ = "standard output";
    to_stdout_ = true;
    if (is_input(input, identity_of(stdout), name_))
        return false;
    file_ = stdout;
#ifdef _WIN32
    _setmode(_fileno(stdout), text ? _O_TEXT : _O_BINARY);
#else
    (void)text;
#endif
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    return true;
}

bool Output::open_file(const std::string& path, const Input& input) {
    if (path.empty() || path == "-")
        return open_stdout(input, false);
    name_ = path;
    if (is_input(input, identity_of(path), path))
        return false;
    std::string target = path;
    switch (target_of(target)) {
    case Target::directory:
        complain("cannot write %s: %s", path.c_str(), std::strerror(EISDIR));
        return false;
    case Target::direct:
        file_ = open_path(path, "wb");
        break;
    case Target::replace:
        file_ = replacement_.create(target);
        break;
    }
    if (file_ == nullptr) {
        int error = errno;
        if (!replacement_.refused_temp().empty())
            complain("cannot write %s: cannot create its temporary file %s in that folder: %s",
                     path.c_str(), replacement_.refused_temp().c_str(), std::strerror(error));
        else
            complain("cannot write %s: %s", path.c_str(), std::strerror(error));
        return false;
    }
    owned_ = true;
    std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
}

void Output::put_int(int64_t value) {
    if (capacity - used_ < 24)
        flush();
    used_ = static_cast<size_t>(
        std::to_chars(buffer_.get() + used_, buffer_.get() + capacity, value).ptr - buffer_.get());
}

void Output::put_time(int64_t micros) {
    if (capacity - used_ < max_time_chars)
        flush();
    used_ += static_cast<size_t>(format_time(buffer_.get() + used_, micros));
}

void Output::note_failure() {
    int error = errno;
#ifdef _WIN32
    DWORD why = GetLastError();
    if (why == ERROR_BROKEN_PIPE || why == ERROR_NO_DATA || why == ERROR_PIPE_NOT_CONNECTED)
        error = EPIPE;
#endif
    if (error == EPIPE)
        closed_pipe_ = true;
    else if (error_ == 0)
        error_ = error != 0 ? error : EIO;
}

void Output::write_out(const char* data, size_t size) {
    if (failed() || file_ == nullptr || size == 0)
        return;
    errno = 0;
#ifdef _WIN32
    SetLastError(0);
#endif
    if (std::fwrite(data, 1, size, file_) != size)
        note_failure();
}

bool Output::flush() {
    write_out(buffer_.get(), used_);
    used_ = 0;
    return !failed();
}

bool Output::reader_gone() {
#ifdef _WIN32
    return closed_pipe_;
#else
    if (file_ == stdout && !closed_pipe_) {
        // A pipe whose reading end is closed polls as an error.
        pollfd out{STDOUT_FILENO, 0, 0};
        if (poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0)
            closed_pipe_ = true;
    }
    return closed_pipe_;
#endif
}

int Output::close(int status) {
    flush();
    if (file_ != nullptr) {
        errno = 0;
        if ((owned_ ? std::fclose(file_) : std::fflush(file_)) != 0 && !failed())
            note_failure();
        file_ = nullptr;
        owned_ = false;
    }
    std::string reason;
    if (!failed() && replacement_.pending() && !replacement_.commit(reason)) {
        complain("cannot write %s: %s", name_.c_str(), reason.c_str());
        return 2;
    }
    replacement_.abandon(); // when anything failed
    if (closed_pipe_)
        return status;
    if (error_ != 0) {
        complain("cannot write %s%s: %s", to_stdout_ ? "to " : "", name_.c_str(),
                 std::strerror(error_));
        return 2;
    }
    return status;
}

void Output::discard() {
    used_ = 0;
    if (file_ != nullptr && owned_)
        std::fclose(file_);
    file_ = nullptr;
    owned_ = false;
    replacement_.abandon();
}

} // namespace kwlog
