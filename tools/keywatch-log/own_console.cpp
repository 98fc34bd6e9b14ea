// keywatch-log in a console of its own (see own_console.h).
#include "own_console.h"
#include "locate.h"
#include "messages.h"

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kwlog {

bool waits_for_enter(unsigned long console_processes, bool input_is_console,
                     bool error_is_console) {
    return console_processes == 1 && input_is_console && error_is_console;
}

#ifdef _WIN32

bool console_is_own() {
    DWORD processes[2];
    DWORD mode = 0;
    return waits_for_enter(GetConsoleProcessList(processes, 2),
                           GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0,
                           GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0);
}

#else

bool console_is_own() {
    return false;
}

#endif

void explain_double_click() {
    note("keywatch-log reads keywatch's log, Key_Events_Sent.log, back. It is a\n"
         "program for the command prompt: open one (cmd) and run it there with a\n"
         "command, for example\n"
         "  keywatch-log summary\n"
         "  keywatch-log report -o flight.html\n"
         "keywatch-log --help lists the commands; the user guide tells more.\n");
    std::vector<std::string> looked;
    std::string found = find_log(looked);
    if (!found.empty()) {
        note("Without a file, the commands read the log at\n  %s\n", found.c_str());
        return;
    }
    std::string places;
    for (const std::string& place : looked)
        places += "\n  " + place;
    note("It found no Key_Events_Sent.log; it looked in:%s\n", places.c_str());
}

void wait_for_enter() {
    note("Press Enter to close this window.");
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
    }
}

} // namespace kwlog
