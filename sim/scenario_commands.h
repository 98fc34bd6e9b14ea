// The commands of scenario scripts, one row each in a table that the reader,
// the player and keywatch-sim's help all work from. Shared by scenario.cpp and
// scenario_commands.cpp only.
#pragma once

#include <cstddef>
#include <optional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/scenario.h"

namespace sim {

// A word of a line: a bare word, or the text of a quoted one.
struct Token {
    std::string text;
    bool quoted;
};

// What a command needs an earlier line of the script to have done.
enum class Needs { nothing, placed_gauge, drawn_frame };

// What a command plays against.
struct Stage {
    Host& host;
    const RunOptions& options;
    std::ostream& out;
};

// One way to write a command, and what it does.
struct CommandForm {
    std::string_view arguments; // after the name: X Y, "TEXT", ...; empty for none
    std::string_view help;      // lines after the first are broken with \n
};

class Arguments;

struct CommandRow {
    std::string_view name; // a word or more: "start", "component start"
    Needs needs;
    CommandForm forms[2]; // the second, when its help is not empty, another way to write it
    size_t alternative;   // the Action alternative it reads into
    std::optional<Action> (*read)(Arguments& arguments);
    // Throws std::runtime_error when it fails.
    void (*play)(const Action& action, Stage& stage);

    size_t form_count() const {
        return forms[1].help.empty() ? 1 : 2;
    }
    // Form `i` as written in a script: "click X Y".
    std::string written(size_t i) const;
    // Its forms, as error messages quote them: "place or place \"PARAMETERS\"".
    std::string usage() const;
};

// Every command, in the order of the Action alternatives.
std::span<const CommandRow> command_table();

// The row that reads and plays `action`.
inline const CommandRow& command_of(const Action& action) {
    return command_table()[action.index()];
}

// The command the words of one line make, or none with what is wrong in
// `error`.
std::optional<Action> read_command(std::vector<Token> words, std::string& error);

} // namespace sim
