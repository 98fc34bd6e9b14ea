// Where the log is when no file is named: every command but diff (summary,
// csv, follow and report) looks for Key_Events_Sent.log in these places, in
// this order:
//
//   the current folder;
//   the user's folder Documents\Prepar3D v4 Files (the known folder
//     Documents on Windows; $HOME/Documents/Prepar3D v4 Files on Linux,
//     where the module's Linux build writes its log when the working folder
//     cannot be written);
//   on Windows, the simulator's installation folder, from the registry:
//     HKEY_CURRENT_USER\Software\Lockheed Martin\Prepar3D v4, value AppPath,
//     then HKEY_LOCAL_MACHINE\SOFTWARE\Lockheed Martin\Prepar3D v4, value
//     SetupPath.
#pragma once

#include <string>
#include <vector>

namespace kwlog {

// The first place that holds the log (its path), or "" when none does.
// `looked` gets a line for each place looked in, in order: a path, or what
// could not be found out (a registry value that is not there).
std::string find_log(std::vector<std::string>& looked);

// find_log() for a command: says on standard error which file it reads, or
// where it looked before it gives up (then "").
std::string find_log_or_say(const std::string& command);

} // namespace kwlog
