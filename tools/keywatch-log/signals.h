// A temporary file that a run ended by a signal must not leave behind:
// every signal that ends a process unless it is caught (Ctrl+C, Ctrl+\, a
// kill, a hang-up, SIGUSR1, an alarm, a limit of CPU time, a crash, ...; on
// Windows, the console's Ctrl+C, Ctrl+Break and closing) removes it before
// the run ends. One at a time.
#pragma once

#include <string>

namespace kwlog {

// From now on, a signal that ends the run removes the file at `path`.
void remove_if_interrupted(const std::string& path);
// ... no longer.
void keep_if_interrupted();

} // namespace kwlog
