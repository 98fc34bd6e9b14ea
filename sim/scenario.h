// Scenario scripts for the stand-in simulator: one command a line, read in
// full and checked before any of it runs, then played against a Host. The
// commands, their arguments and what they do are the table in
// scenario_commands.cpp; scenario_help() prints it, with the rules for
// comments and quoted texts.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sim/host.h"

namespace sim {

namespace command {
struct Answer {
    AircraftField field;
    std::optional<std::string> text; // none: the query goes unanswered
    bool operator==(const Answer&) const = default;
};
struct Start {
    bool operator==(const Start&) const = default;
};
struct Stop {
    bool operator==(const Stop&) const = default;
};
struct ComponentStart {
    bool with_services; // false: Panels left null
    bool operator==(const ComponentStart&) const = default;
};
struct ComponentStop {
    bool operator==(const ComponentStop&) const = default;
};
struct Event {
    uint32_t id;
    uint32_t data;
    uint32_t repeat; // 1 and up
    bool operator==(const Event&) const = default;
};
struct Sleep {
    double seconds;
    bool operator==(const Sleep&) const = default;
};
struct Place {
    std::optional<std::string> parameters; // none: no parameter string at all
    bool operator==(const Place&) const = default;
};
struct Frame {
    bool operator==(const Frame&) const = default;
};
struct Click {
    int32_t x, y;
    bool operator==(const Click&) const = default;
};
struct Hover {
    int32_t x, y;
    bool operator==(const Hover&) const = default;
};
struct Show {
    bool operator==(const Show&) const = default;
};
struct Face {
    std::string path; // as written in the script
    bool operator==(const Face&) const = default;
};
} // namespace command

// One alternative a command, in the order of the command table's rows.
using Action =
    std::variant<command::Answer, command::Start, command::Stop, command::ComponentStart,
                 command::ComponentStop, command::Event, command::Sleep, command::Place,
                 command::Frame, command::Click, command::Hover, command::Show, command::Face>;

struct Command {
    int line; // 1-based line of the script
    Action action;
    bool operator==(const Command&) const = default;
};

struct Script {
    std::string name; // as given; prefixes every message
    std::vector<Command> commands;
};

struct ParseResult {
    Script script;
    std::string error; // "NAME:LINE: what is wrong"; empty when the script is good
    bool ok() const {
        return error.empty();
    }
};

inline constexpr uint32_t max_repeat = 1000000;
inline constexpr double max_sleep_seconds = 3600;

// Reads a whole script. Touches nothing outside its arguments.
ParseResult parse_scenario(std::string_view text, std::string_view script_name);

// How scripts are written, for a program's --help: the rules of a line and
// every command, a line or more each.
std::string scenario_help();

struct RunOptions {
    std::string face_directory; // face paths are relative to this (empty: as given)
};

// Plays the commands of a script parse_scenario read against `host`,
// printing what show and hover give to `out` and a failure to `err` as
// "keywatch-sim: NAME:LINE: ...". Returns the exit status: 0 done, 1 a
// command failed (the rest are not played).
int run_scenario(Host& host, const Script& script, const RunOptions& options, std::ostream& out,
                 std::ostream& err);

} // namespace sim
