// Removing a temporary file when a signal ends the run (see signals.h).
//
// The path is kept where a handler can reach it without allocating, and the
// handler removes the file before the signal takes its usual course. On
// Windows the console's control handler runs on a thread of its own while
// the file is still open: the file is opened sharing deletion
// (atomic_replace.cpp), so that deleting it there takes it away as the
// process ends.
#include "signals.h"

#include <cstring>
#include <iterator>

#ifdef _WIN32
#include "utf16.h"

#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace kwlog {
namespace {

#ifdef _WIN32

wchar_t pending[4096];
volatile LONG have_pending = 0;

BOOL WINAPI remove_pending(DWORD) {
    if (have_pending != 0)
        DeleteFileW(pending);
    return FALSE; // and the default handler ends the process
}

#else

char pending[4096];
volatile std::sig_atomic_t have_pending = 0;

extern "C" void remove_pending(int signal) {
    if (have_pending != 0)
        unlink(pending);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

#endif

} // namespace

#ifdef _WIN32

void remove_if_interrupted(const std::string& path) {
    std::wstring wide = to_wide(path);
    if (wide.size() >= std::size(pending))
        return;
    std::memcpy(pending, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    have_pending = 1;
    static bool handled = false;
    if (!handled)
        handled = SetConsoleCtrlHandler(remove_pending, TRUE) != 0;
}

#else

void remove_if_interrupted(const std::string& path) {
    if (path.size() >= sizeof pending)
        return;
    std::memcpy(pending, path.c_str(), path.size() + 1);
    have_pending = 1;
    static bool handled = false;
    if (!handled) {
        handled = true;
        struct sigaction action = {};
        action.sa_handler = remove_pending;
        sigemptyset(&action.sa_mask);
        // A signal ignored from the start stays ignored: nohup, or a job
        // started in the background by a shell, asked for that.
        struct sigaction before;
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
                sigaction(signal, &action, nullptr);
    }
}

#endif

void keep_if_interrupted() {
    have_pending = 0;
}

} // namespace kwlog
