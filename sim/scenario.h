// Scenario scripts for the stand-in simulator: one command a line, read in
// full and checked before any of it runs, then played against a Host.
//
//   answer title|type|model "TEXT"   what the simulator answers from now on
//   answer title|type|model none     no answer (the query is left unanswered)
//   start / stop                     module start and stop routines
//   event NAME|NUMBER [DATA] [xN]    one key event (N times) to every handler
//   sleep SECONDS                    wall-clock pause, e.g. 0.25
//   place / place "TEXT"             place a gauge, with or without parameters
//   frame                            pre-update, update and draw every gauge
//   click X Y / hover X Y            mouse on the first placed gauge
//   show                             the face as last drawn
//   face FILE.png                    write the face as last drawn
//
// '#' starts a comment outside quotes. Texts are double-quoted; inside them
// \" stands for a quote and \\ for a backslash, and no other escapes exist.
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

using Action = std::variant<command::Answer, command::Start, command::Stop, command::Event,
                            command::Sleep, command::Place, command::Frame, command::Click,
                            command::Hover, command::Show, command::Face>;

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

struct RunOptions {
    std::string face_directory; // face paths are relative to this (empty: as given)
};

// Plays the commands against `host`, printing what show and hover give to
// `out` and failures to `err` as "NAME:LINE: ...". Returns the exit status:
// 0 done, 2 a command whose precondition failed, 1 any other failure.
int run_scenario(Host& host, const Script& script, const RunOptions& options, std::ostream& out,
                 std::ostream& err);

} // namespace sim
