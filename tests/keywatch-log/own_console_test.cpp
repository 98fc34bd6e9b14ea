// When keywatch-log waits for Enter before it ends: only in a console that
// is its own and that both its input and its error output are. The counts
// are GetConsoleProcessList's: 0 no console, 1 one made for the program
// (Explorer, a shortcut), 2 or more one it shares with the shell that
// started it. console-test.sh runs the program in a console of its own
// under Wine.
#include "own_console.h"

#include <gtest/gtest.h>

namespace kwlog {
namespace {

TEST(OwnConsole, WaitsOnlyAloneInAConsoleItReadsAndWrites) {
    struct Case {
        unsigned long processes;
        bool input, error, waits;
    } cases[] = {
        {1, true, true, true},    // double-clicked
        {2, true, true, false},   // from cmd.exe or PowerShell
        {3, true, true, false},   // from a shell started by another
        {0, false, false, false}, // no console: a service, a pipe from another program
        {1, false, true, false},  // input from a file or a pipe: no one to press Enter
        {1, true, false, false},  // error output to a file: nothing to read in the window
    };
    for (const Case& c : cases)
        EXPECT_EQ(waits_for_enter(c.processes, c.input, c.error), c.waits)
            << c.processes << " processes, input " << c.input << ", error " << c.error;
}

} // namespace
} // namespace kwlog
