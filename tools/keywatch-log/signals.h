// A temporary file that a run ended by a signal must not leave behind:
// Ctrl+C, a kill or a hang-up (on Windows, the console's Ctrl+C) removes
// it before the run ends. One at a time.
#pragma once

#include <string>

namespace kwlog {

// From now on, a signal that ends the run removes the file at `path`.
void remove_if_interrupted(const std::string& path);
// ... no longer.
void keep_if_interrupted();

} // namespace kwlog
