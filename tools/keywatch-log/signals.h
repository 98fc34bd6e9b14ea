// A temporary file that a run ended by a signal must not leave behind:
// every signal that ends a process unless it is caught (Ctrl+C, Ctrl+\, a
// kill, a hang-up, SIGUSR1, an alarm, a limit of CPU time, a crash, ...; on
// Windows, the console's Ctrl+C, Ctrl+Break and closing) removes it before
// the run ends. One at a time.
#pragma once

#include <string>

#ifndef _WIN32
#include <csignal>
#endif

namespace kwlog {

// Catches the signals that end the run (the first one made, for good), and
// on Linux holds them back while it lives: a temporary file is made under
// one and given to remove_if_interrupted(), so that no signal can come
// between the two and leave it.
class SignalsHeld {
  public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
#ifndef _WIN32
    sigset_t before_;
#endif
};

// From now on, a signal that ends the run removes the file at `path`.
void remove_if_interrupted(const std::string& path);
// ... no longer.
void keep_if_interrupted();

} // namespace kwlog
