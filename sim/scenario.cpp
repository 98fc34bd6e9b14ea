// Reading and playing scenario scripts. A script is read and checked whole
// first, so a mistake anywhere in it stops it before the module is touched;
// each command is then played by its row of the command table.
#include "sim/scenario.h"

#include <algorithm>
#include <ostream>
#include <set>
#include <stdexcept>

#include "sim/scenario_commands.h"

namespace sim {

namespace {

// ---- Words of a line ------------------------------------------------------------------

constexpr const char* line_rules = "Scenario lines, one command each; '#' starts a comment outside "
                                   "quotes;\ntexts go in double quotes, with \\\" and \\\\ as "
                                   "escapes:\n";

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Splits one line into bare words and quoted texts, up to a '#' outside
// quotes. Returns what is wrong, or an empty text.
std::string split_line(std::string_view line, std::vector<Token>& tokens) {
    size_t i = 0;
    while (true) {
        while (i < line.size() && is_blank(line[i]))
            ++i;
        if (i == line.size() || line[i] == '#')
            return {};
        Token token{{}, line[i] == '"'};
        if (token.quoted) {
            ++i;
            while (true) {
                if (i == line.size())
                    return "unterminated quoted text: add the closing \"";
                char c = line[i++];
                if (c == '"')
                    break;
                if (c == '\\') {
                    if (i == line.size())
                        return "unterminated quoted text: add the closing \"";
                    c = line[i++];
                    if (c != '"' && c != '\\')
                        return std::string("unknown escape \\") + c +
                               " in quoted text: only \\\" and \\\\ are escapes";
                }
                token.text += c;
            }
            if (i < line.size() && !is_blank(line[i]) && line[i] != '#')
                return "text right after a closing quote: leave a blank between arguments";
        } else {
            while (i < line.size() && !is_blank(line[i]) && line[i] != '#') {
                if (line[i] == '"')
                    return "quote inside a word: put the whole text in quotes";
                token.text += line[i++];
            }
        }
        tokens.push_back(std::move(token));
    }
}

// ---- Order of commands --------------------------------------------------------------------

// What a command may need from an earlier line, and the command that gives it.
struct Requirement {
    Needs needs;
    const char* what;
    std::string_view given_by;
};

constexpr Requirement requirements[] = {
    {Needs::placed_gauge, "a placed gauge", "place"},
    {Needs::drawn_frame, "a drawn frame", "frame"},
};

const Requirement* requirement_of(Needs needs) {
    for (const Requirement& requirement : requirements)
        if (requirement.needs == needs)
            return &requirement;
    return nullptr;
}

std::string located(const std::string& script, int line, const std::string& what) {
    return script + ":" + std::to_string(line) + ": " + what;
}

} // namespace

// ---- Reading a script ---------------------------------------------------------------------

ParseResult parse_scenario(std::string_view text, std::string_view script_name) {
    ParseResult result;
    result.script.name = script_name;
    std::set<std::string_view> seen; // the commands earlier lines gave
    int line_number = 0;
    while (!text.empty()) {
        ++line_number;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        std::vector<Token> tokens;
        std::string error = split_line(line, tokens);
        if (error.empty() && tokens.empty())
            continue;
        std::optional<Action> action;
        if (error.empty())
            action = read_command(std::move(tokens), error);
        if (action) {
            const CommandRow& command = command_of(*action);
            const Requirement* needed = requirement_of(command.needs);
            if (needed != nullptr && seen.count(needed->given_by) == 0)
                error = std::string(command.name) + " needs " + needed->what + ": add a '" +
                        std::string(needed->given_by) + "' line before it";
            seen.insert(command.name);
        }
        if (!error.empty()) {
            result.error = located(result.script.name, line_number, error);
            result.script.commands.clear();
            return result;
        }
        result.script.commands.push_back({line_number, std::move(*action)});
    }
    return result;
}

// ---- Help -------------------------------------------------------------------------------

std::string scenario_help() {
    constexpr size_t column = 34; // where each form's help starts
    const std::string indent(column, ' ');
    std::string help = line_rules;
    for (const CommandRow& command : command_table())
        for (size_t i = 0; i < command.form_count(); ++i) {
            const std::string usage = "  " + command.written(i);
            help += usage + (usage.size() + 2 <= column ? std::string(column - usage.size(), ' ')
                                                        : "\n" + indent);
            for (char c : command.forms[i].help)
                help += c == '\n' ? "\n" + indent : std::string(1, c);
            help += '\n';
        }
    help += "\n";
    for (const Requirement& requirement : requirements) {
        std::vector<std::string_view> names;
        for (const CommandRow& command : command_table())
            if (command.needs == requirement.needs)
                names.push_back(command.name);
        for (size_t i = 0; i < names.size(); ++i)
            help += std::string(i == 0                 ? ""
                                : i + 1 < names.size() ? ", "
                                                       : " and ") +
                    std::string(names[i]);
        help += std::string(names.size() == 1 ? " needs a '" : " need a '") +
                std::string(requirement.given_by) + "' line somewhere before " +
                (names.size() == 1 ? "it" : "them") + ".\n";
    }
    return help;
}

// ---- Playing a script -------------------------------------------------------------------------

int run_scenario(Host& host, const Script& script, const RunOptions& options, std::ostream& out,
                 std::ostream& err) {
    Stage stage{host, options, out};
    for (const Command& command : script.commands) {
        try {
            command_of(command.action).play(command.action, stage);
        } catch (const std::runtime_error& failure) {
            out.flush();
            err << "keywatch-sim: " << located(script.name, command.line, failure.what()) << '\n';
            return 1;
        }
    }
    return 0;
}

} // namespace sim
