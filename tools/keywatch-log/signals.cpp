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
#include <pthread.h>
#include <unistd.h>
#include <vector>
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

// What each signal did before: the handler puts it back, so that the
// signal then takes its usual course (the end of the process, or a
// sanitizer's report of a crash).
struct sigaction before[NSIG];

// Faults of the program itself, which come again when the handler returns;
// sent by kill, they do not.
bool is_fault(int signal, const siginfo_t* info) {
    return (signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE) &&
           info != nullptr && info->si_code > 0;
}

extern "C" void remove_pending(int signal, siginfo_t* info, void*) {
    if (have_pending != 0)
        unlink(pending);
    sigaction(signal, &before[signal], nullptr);
    // Blocked until the handler returns, then delivered as before.
    if (!is_fault(signal, info))
        raise(signal);
}

// The signals whose default is to end the process and that may be caught.
// SIGPIPE is ignored from the start (main.cpp): a write to a closed pipe
// fails instead, and the run ends through the usual path.
std::vector<int> ending_signals() {
    std::vector<int> signals = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                                SIGFPE,  SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
                                SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,  SIGIO};
#ifdef SIGSTKFLT
    signals.push_back(SIGSTKFLT);
#endif
#ifdef SIGPWR
    signals.push_back(SIGPWR);
#endif
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        signals.push_back(signal);
    return signals;
}

#endif

} // namespace

#ifdef _WIN32

SignalsHeld::SignalsHeld() {
    static bool handled = false;
    if (!handled)
        handled = SetConsoleCtrlHandler(remove_pending, TRUE) != 0;
}

SignalsHeld::~SignalsHeld() = default;

void remove_if_interrupted(const std::string& path) {
    std::wstring wide = to_wide(path);
    if (wide.size() >= std::size(pending))
        return;
    std::memcpy(pending, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    have_pending = 1;
}

#else

SignalsHeld::SignalsHeld() {
    static bool handled = false;
    if (!handled) {
        handled = true;
        struct sigaction action = {};
        action.sa_sigaction = remove_pending;
        action.sa_flags = SA_SIGINFO;
        // While the file is removed, no other signal ends the run.
        sigfillset(&action.sa_mask);
        // A signal ignored from the start stays ignored: nohup, or a job
        // started in the background by a shell, asked for that.
        for (int signal : ending_signals())
            if (sigaction(signal, nullptr, &before[signal]) == 0 &&
                before[signal].sa_handler != SIG_IGN)
                sigaction(signal, &action, nullptr);
    }
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before_);
}

SignalsHeld::~SignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

void remove_if_interrupted(const std::string& path) {
    if (path.size() >= sizeof pending)
        return;
    std::memcpy(pending, path.c_str(), path.size() + 1);
    have_pending = 1;
}

#endif

void keep_if_interrupted() {
    have_pending = 0;
}

} // namespace kwlog
