// keywatch-log started by a double-click in Explorer (or a shortcut),
// rather than from a command prompt: Windows then gives it a console of its
// own, which closes the moment the program ends, its words with it. In
// such a console it waits for Enter before it ends, and, started with no
// command (as a double-click starts it), it first says what it is, how to
// run it and where it looked for the log.
#pragma once

namespace kwlog {

// Whether to wait for Enter at the end: the console has no process but
// this one (a command prompt, PowerShell or another shell that started it
// would be a second, and shows its words after it ends), and both standard
// input and standard error are that console (not a file or a pipe). From
// the count GetConsoleProcessList gives (0 when there is no console).
bool waits_for_enter(unsigned long console_processes, bool input_is_console, bool error_is_console);

// waits_for_enter() for this run; false but on Windows.
bool console_is_own();

// What keywatch-log is, how to run it, and where it looked for the log
// (locate.h), on standard error.
void explain_double_click();

// "Press Enter to close this window.", then reads standard input to its
// next line end (or its end).
void wait_for_enter();

} // namespace kwlog
