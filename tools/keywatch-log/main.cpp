// keywatch-log: reads a keywatch Key_Events_Sent.log back. This file is the
// command line: a table of the options, each defined and documented once,
// and a table of the commands, each naming the options it takes. Both
// drive the parsing (through CLI11), the usage messages and every --help,
// written in plain words like a manual page rather than in the option
// library's notation.
#include "commands.h"
#include "locate.h"
#include "own_console.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <cerrno>
#include <fcntl.h>
#endif

namespace {

using kwlog::Options;

// What the command line gives a command: its options and its files.
struct Settings {
    Options options;
    std::string file, second; // FILE, or diff's A and B
};

// ---- Checks ----------------------------------------------------------------------

// A whole number within a range, said in words when it is not.
CLI::Validator whole_number(unsigned long lowest, unsigned long highest) {
    return CLI::Validator(
        [=](std::string& text) {
            unsigned long value = 0;
            auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (error == std::errc{} && end == text.data() + text.size() && value >= lowest &&
                value <= highest)
                return std::string();
            return "takes a whole number from " + std::to_string(lowest) + " to " +
                   std::to_string(highest) + ", not '" + text + "'";
        },
        "");
}

CLI::Validator name_pattern(std::optional<kwlog::NamePattern>& into) {
    return CLI::Validator(
        [&into](std::string& text) {
            std::string error;
            into = kwlog::NamePattern::parse(text, error);
            return error;
        },
        "");
}

// ---- The options -------------------------------------------------------------------

// A paragraph that explains what an option's value is, shown once after the
// options of each command that takes it.
const char* const names_note =
    R"(NAMES holds a name a line: NAME NUMBER, #define NAME NUMBER, or #define NAME
(THIRD_PARTY_EVENT_ID_MIN + N), as add-on makers' headers have them, with
numbers in decimal or hexadecimal (0x11000). A named add-on event shows as
NAME (User_Defined_Event). Lines of other forms are reported and skipped.
)";

const char* const pattern_note =
    R"(A PATTERN matches anywhere in an event's name as shown, letter case
counting: * stands for any text, ? for one character, and | separates
alternatives. "GEAR|FLAPS" matches KEY_GEAR_UP and KEY_FLAPS_INCR;
"KEY_AP_*_HOLD" matches KEY_AP_HDG_HOLD_ON.
)";

enum class Opt {
    top,
    burst_gap,
    burst_min,
    repeat_gap,
    repeat_min,
    all,
    output,
    only,
    hide,
    from_start,
    data,
    csv,
    names,
    strict
};

struct OptionRow {
    Opt id;
    std::string_view flags; // as shown: "--top", "-o, --output"
    std::string_view value; // its value's name, or none for a flag
    std::string_view help;  // lines after the first broken with \n
    const char* note;       // a paragraph after the options, or null
    // Adds it to a command's parser, bound to where it goes.
    CLI::Option* (*add)(CLI::App& command, const std::string& name, Options& into);
};

template <unsigned long Lowest, unsigned long Highest>
CLI::Option* add_number(CLI::App& command, const std::string& name, unsigned& into) {
    return command.add_option(name, into)->check(whole_number(Lowest, Highest));
}

constexpr OptionRow option_table[] = {
    {Opt::top, "--top", "N",
     "show the N busiest events, and the N longest bursts,\n"
     "repeats and tugs-of-war, of each session (1 to\n"
     "100000; default 10)",
     nullptr,
     [](CLI::App& c, const std::string& n, Options& o) {
         return add_number<1, 100000>(c, n, o.analysis.top);
     }},
    {Opt::burst_gap, "--burst-gap", "MS",
     "the longest gap within a burst, in milliseconds\n"
     "(0 to 3600000; default 50)",
     nullptr,
     [](CLI::App& c, const std::string& n, Options& o) {
         return add_number<0, 3600000>(c, n, o.analysis.burst_gap_ms);
     }},
    {Opt::burst_min, "--burst-min", "N",
     "the fewest events that make a burst (2 to 1000000000;\n"
     "default 3)",
     nullptr,
     [](CLI::App& c, const std::string& n, Options& o) {
         return add_number<2, 1000000000>(c, n, o.analysis.burst_min);
     }},
    {Opt::repeat_gap, "--repeat-gap", "MS",
     "the longest gap within a steady repeat, in\n"
     "milliseconds (1 to 3600000; default 500)",
     nullptr,
     [](CLI::App& c, const std::string& n, Options& o) {
         return add_number<1, 3600000>(c, n, o.analysis.repeat_gap_ms);
     }},
    {Opt::repeat_min, "--repeat-min", "N",
     "the fewest sends that make a steady repeat (2 to\n"
     "1000000000; default 10); it must also last 2 s",
     nullptr,
     [](CLI::App& c, const std::string& n, Options& o) {
         return add_number<2, 1000000000>(c, n, o.analysis.repeat_min);
     }},
    {Opt::all, "--all", "",
     "add the load and control lines (kinds aircraft-loaded,\n"
     "gauge-loaded, logging-stopped, logging-started,\n"
     "gauge-refreshed, aircraft-title, log-file-closed),\n"
     "their text in the name column",
     nullptr, [](CLI::App& c, const std::string& n, Options& o) { return c.add_flag(n, o.all); }},
    {Opt::output, "-o, --output", "OUT",
     "write to the file OUT rather than standard output; it\n"
     "is written whole or not at all, and may not be FILE",
     nullptr,
     [](CLI::App& c, const std::string& n, Options& o) { return c.add_option(n, o.output); }},
    {Opt::only, "--only", "PATTERN", "show only the events whose name matches PATTERN",
     pattern_note,
     [](CLI::App& c, const std::string& n, Options& o) {
         return c.add_option(n)->check(name_pattern(o.only));
     }},
    {Opt::hide, "--hide", "PATTERN", "leave out the events whose name matches PATTERN",
     pattern_note,
     [](CLI::App& c, const std::string& n, Options& o) {
         return c.add_option(n)->check(name_pattern(o.hide));
     }},
    {Opt::from_start, "--from-start", "", "show the records already in the file first", nullptr,
     [](CLI::App& c, const std::string& n, Options& o) { return c.add_flag(n, o.from_start); }},
    {Opt::data, "--data", "", "tell events apart by their data too", nullptr,
     [](CLI::App& c, const std::string& n, Options& o) { return c.add_flag(n, o.data); }},
    {Opt::csv, "--csv", "",
     "write the tables as one CSV table (RFC 4180) for a\n"
     "spreadsheet: in,id,name,a,b,difference, where in is\n"
     "A, B or both (and data after name, with --data)",
     nullptr, [](CLI::App& c, const std::string& n, Options& o) { return c.add_flag(n, o.csv); }},
    {Opt::names, "--names", "NAMES", "show add-on events by the names in the file NAMES",
     names_note,
     [](CLI::App& c, const std::string& n, Options& o) { return c.add_option(n, o.names); }},
    {Opt::strict, "--strict", "",
     "stop at the first line that is not a keywatch record\n"
     "instead of skipping it",
     nullptr,
     [](CLI::App& c, const std::string& n, Options& o) { return c.add_flag(n, o.strict); }},
};

consteval bool options_in_order() {
    for (size_t i = 0; i < std::size(option_table); ++i)
        if (option_table[i].id != Opt(i))
            return false;
    return true;
}
static_assert(options_in_order(), "the option rows must be in the order of Opt");

const OptionRow& option(Opt id) {
    return option_table[static_cast<size_t>(id)];
}

// ---- The commands ------------------------------------------------------------------

// What FILE is, for the commands that read one log.
const char* const file_note =
    R"(FILE is the log's path, or - for standard input; without it, the log is
looked for (see keywatch-log --help).
)";

struct CommandRow {
    std::string_view name;
    std::string_view summary;   // for the list of commands: lines after the first broken with \n
    std::string_view example;   // for keywatch-log --help
    bool two_captures;          // diff: A and B; the others: [FILE]
    std::string_view about;     // what it does, before the options
    std::span<const Opt> takes; // its options, in the order its help lists them
    std::string_view notes;     // paragraphs of its own after the options
    const char* files;          // the paragraph on its FILE (or A and B)
    std::string_view examples;
    std::string_view exit_status;
    int (*run)(const Settings& settings);
};

constexpr Opt summary_options[] = {Opt::top,        Opt::burst_gap, Opt::burst_min, Opt::repeat_gap,
                                   Opt::repeat_min, Opt::names,     Opt::strict};
constexpr Opt csv_options[] = {Opt::all, Opt::output, Opt::names, Opt::strict};
constexpr Opt follow_options[] = {Opt::only, Opt::hide, Opt::from_start, Opt::names};
constexpr Opt diff_options[] = {Opt::data, Opt::csv, Opt::names, Opt::strict};
constexpr Opt report_options[] = {Opt::output,     Opt::burst_gap, Opt::burst_min, Opt::repeat_gap,
                                  Opt::repeat_min, Opt::names,     Opt::strict};

const CommandRow command_table[] = {
    {"summary",
     "per session: aircraft, module, time span, events,\n"
     "logging stops and starts, busiest events, peak rate,\n"
     "bursts, steady repeats and tug-of-war",
     "keywatch-log summary Key_Events_Sent.log", false,
     R"(Per session: the aircraft, the module's path, the time span, the events
written (key and user-defined apart), logging stops and starts, the busiest
events, the peak rate (the most events within one second), and three kinds
of run:
  bursts              one event with one data value at short gaps (a key
                      held down, a trim wheel turned)
  steady repeats      one event sent again and again for long, whatever its
                      data (something that keeps sending it)
  tug-of-war          an event whose data keeps going back to a value it
                      had just before (A, B, A, B or A, B, C, A), as when
                      two senders fight over one setting
Events are told apart by number and name: add-on events, all named
User_Defined_Event, and keys without a name (null) are counted by their
numbers.
)",
     summary_options,
     R"(A reversal is a change back to one of the two values before the present
one. A tug-of-war begins with three reversals and ends after three changes
in a row that are not.
)",
     file_note,
     R"(  keywatch-log summary Key_Events_Sent.log
  keywatch-log summary --top 3 --burst-gap 200 Key_Events_Sent.log
  keywatch-log summary --names MyAddonEvents.h
)",
     R"(Exit status: 0 done; 1 not a keywatch log; 2 a wrong option, a file that
cannot be found or read, or output that cannot be written.
)",
     [](const Settings& s) { return kwlog::run_summary(s.file, s.options); }},
    {"csv", "every event line as CSV (RFC 4180), for a spreadsheet",
     "keywatch-log csv --all -o events.csv Key_Events_Sent.log", false,
     R"(Every event line as one CSV row (RFC 4180, CR LF line ends) under the header
session,time,kind,id,name,data; kind is key or user.
)",
     csv_options, "", file_note,
     R"(  keywatch-log csv -o events.csv Key_Events_Sent.log
  keywatch-log csv --all Key_Events_Sent.log
)",
     R"(Exit status: 0 done; 1 not a keywatch log; 2 a wrong option, or a file that
cannot be found, read or written.
)",
     [](const Settings& s) { return kwlog::run_csv(s.file, s.options); }},
    {"follow", "each record as the simulator appends it, like tail -f",
     "keywatch-log follow --hide \"AXIS|TRIM\" Key_Events_Sent.log", false,
     R"(Shows each record as the simulator appends it to FILE, like tail -f. It goes
on across a Reset, which empties the file, and waits for a file that is not
there yet. Load and control lines always show. Stop it with Ctrl+C.
)",
     follow_options, "",
     R"(FILE is the log's path (not standard input: it is opened again at each
look); without it, the log is looked for (see keywatch-log --help).
)",
     R"(  keywatch-log follow Key_Events_Sent.log
  keywatch-log follow --only "GEAR|FLAPS" --from-start Key_Events_Sent.log
)",
     R"(Exit status: 0 stopped, as the reader of its output went away; 2 a wrong
option, or a file that cannot be found or read.
)",
     [](const Settings& s) { return kwlog::run_follow(s.file, s.options); }},
    {"diff", "the events that differ between two logs or sessions",
     "keywatch-log diff button.log switch.log", true,
     R"(Compares two captures, each a log or one session of it: FILE:N is session N
of FILE, numbered as summary numbers them. It lists the events only in A,
those only in B, and those in both with different counts, the largest
difference first. Events are told apart by number and name, and with --data
by their data as well.
)",
     diff_options, "", "A or B may be - for standard input (one of them).\n",
     R"(  keywatch-log diff button.log switch.log
  keywatch-log diff --data Key_Events_Sent.log:1 Key_Events_Sent.log:2
)",
     R"(Exit status: 0 the captures hold the same events, as many times each; 1
they differ; 2 a wrong option, a file that cannot be read or is not a
keywatch log, or a session the file does not have.
)",
     [](const Settings& s) { return kwlog::run_diff(s.file, s.second, s.options); }},
    {"report",
     "one HTML page per log: a timeline of each session,\n"
     "its busiest events, bursts, repeats and tug-of-war",
     "keywatch-log report -o flight.html Key_Events_Sent.log", false,
     R"(Writes one HTML page of the log, a section per session: the aircraft, the
module's path, the time span, the events (key and user-defined apart),
logging stops and starts; a timeline of the events per time step (at most
600 steps, whatever the session's length) with the stops, starts, load or
Reset marked and the bursts, steady repeats and tugs-of-war drawn as bands;
a chart of the 15 busiest events; and the tables of bursts, repeats and
tugs-of-war (see keywatch-log summary --help). Every bar names its figure
when the pointer rests on it, and a table beside each chart holds the same
figures. The page is self-contained: it needs no script, fetches nothing,
and reads in light and dark mode.
)",
     report_options, "", file_note,
     R"(  keywatch-log report -o flight.html Key_Events_Sent.log
  keywatch-log report --names MyAddonEvents.h -o flight.html
)",
     R"(Exit status: 0 done; 1 not a keywatch log; 2 a wrong option, or a file that
cannot be found, read or written.
)",
     [](const Settings& s) { return kwlog::run_report(s.file, s.options); }},
};

// The command names, as a list in words: "summary, csv, ... or report".
std::string command_names(const char* last_joint) {
    std::string list;
    for (size_t i = 0; i < std::size(command_table); ++i) {
        if (i > 0)
            list += i + 1 == std::size(command_table) ? last_joint : ", ";
        list += command_table[i].name;
    }
    return list;
}

const CommandRow* find_command(std::string_view name) {
    for (const CommandRow& row : command_table)
        if (row.name == name)
            return &row;
    return nullptr;
}

// ---- Help ---------------------------------------------------------------------------

// A row of a two-column list: the term in a column of 20 after two blanks,
// its text beside it, the text's further lines under its first.
void put_entry(std::string& out, std::string_view term, std::string_view text) {
    constexpr size_t column = 22;
    std::string left = "  " + std::string(term);
    left.resize(std::max(column, left.size() + 2), ' ');
    out += left;
    for (size_t line = 0; !text.empty(); ++line) {
        size_t end = std::min(text.find('\n'), text.size());
        if (line > 0)
            out.append(column, ' ');
        out.append(text.substr(0, end)).append("\n");
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

void put_option(std::string& out, const OptionRow& row) {
    std::string term(row.flags);
    if (!row.value.empty())
        term.append(" ").append(row.value);
    put_entry(out, term, row.help);
}

std::string main_help() {
    std::string out = R"(usage: keywatch-log <command> [options] [FILE]

Reads a keywatch log (Key_Events_Sent.log) back. Sessions begin at each load
of the gauge module and at each Reset.

Commands:
)";
    for (const CommandRow& row : command_table)
        put_entry(out, row.name, row.summary);
    out += "\nOptions:\n";
    put_entry(out, "-h, --help", "show this help");
    put_entry(out, "--version", "show the version");
    out += R"(
FILE is the log's path; - reads standard input (all but follow). Without
FILE, every command but diff reads Key_Events_Sent.log from the current
folder, else from the user's Documents\Prepar3D v4 Files, else (on Windows)
from the simulator's folder as the registry gives it, and says which.

Examples:
)";
    for (const CommandRow& row : command_table)
        out.append("  ").append(row.example).append("\n");
    out += R"(
Run 'keywatch-log <command> --help' for a command's options.

Exit status: 0 done; 1 the file is not a keywatch log (it holds no record,
or with --strict a line is not one), or diff found the captures differ; 2 a
wrong option, or a file that cannot be found, read or written.
)";
    return out;
}

std::string command_help(const CommandRow& row) {
    std::string out = "usage: keywatch-log " + std::string(row.name) + " [options] " +
                      (row.two_captures ? "A B" : "[FILE]") + "\n\n";
    out.append(row.about).append("\nOptions:\n");
    for (Opt id : row.takes)
        put_option(out, option(id));
    put_entry(out, "-h, --help", "show this help");
    if (!row.notes.empty())
        out.append("\n").append(row.notes);
    std::vector<const char*> notes; // each once, in the order of the options
    for (Opt id : row.takes)
        if (const char* note = option(id).note;
            note != nullptr && std::find(notes.begin(), notes.end(), note) == notes.end())
            notes.push_back(note);
    for (const char* note : notes)
        out.append("\n").append(note);
    out.append("\n").append(row.files);
    out.append("\nExamples:\n").append(row.examples);
    out.append("\n").append(row.exit_status);
    return out;
}

// ---- Parsing ------------------------------------------------------------------------

int usage_error(const std::string& message, const std::string& command = "") {
    kwlog::complain("%s\nRun 'keywatch-log %s%s--help' for %s.", message.c_str(), command.c_str(),
                    command.empty() ? "" : " ",
                    command.empty() ? "the commands and options" : "its options");
    return 2;
}

// The option row that `option` ("--top", "-o") names, or null.
const OptionRow* option_named(std::string_view option) {
    for (const OptionRow& row : option_table) {
        std::string_view flags = row.flags;
        for (size_t comma; !flags.empty(); flags.remove_prefix(std::min(comma + 2, flags.size()))) {
            comma = std::min(flags.find(','), flags.size());
            if (flags.substr(0, comma) == option)
                return &row;
        }
    }
    return nullptr;
}

// What a command line left over once parsed: an option the command does
// not take, or a file too many. Said, and 2; 0 when nothing was left.
int left_over(std::vector<std::string> words, const CommandRow& command) {
    // "--", which ends the options, is kept among the extras: it is no option.
    std::erase(words, std::string("--"));
    if (words.empty())
        return 0;
    const std::string name(command.name);
    auto option_word = [](const std::string& w) { return w.size() > 1 && w[0] == '-'; };
    auto unknown = std::find_if(words.begin(), words.end(), option_word);
    if (unknown != words.end()) {
        std::string option = unknown->substr(0, unknown->find('='));
        std::string takers;
        if (const OptionRow* known = option_named(option))
            for (const CommandRow& row : command_table)
                if (std::find(row.takes.begin(), row.takes.end(), known->id) != row.takes.end())
                    takers += (takers.empty() ? "" : ", ") + std::string(row.name);
        return usage_error(
            name + " takes no option " + option +
                (takers.empty()
                     ? ""
                     : " (" + takers + " " +
                           (takers.find(',') == std::string::npos ? "takes it)" : "take it)")),
            name);
    }
    return usage_error(
        name + (command.two_captures ? " compares two captures, A and B; '" : " reads one log; '") +
            words.front() + "' is one too many",
        name);
}

// "--top=" with nothing after it is an empty value, not a request for the
// next word.
int empty_values(int argc, char** argv, const CommandRow* command) {
    for (int i = 1; i < argc; ++i) {
        std::string_view word = argv[i];
        if (word == "--")
            break;
        if (word.starts_with("--") && word.size() > 3 && word.back() == '=' &&
            word.find('=') == word.size() - 1) {
            std::string option(word.substr(0, word.size() - 1));
            const OptionRow* row = option_named(option);
            if (command == nullptr || row == nullptr || row->value.empty() ||
                std::find(command->takes.begin(), command->takes.end(), row->id) ==
                    command->takes.end())
                continue; // not an option of the command's with a value: said as it is read
            std::string value(row->value);
            return usage_error("'" + std::string(word) + "' gives no value; write " + option + "=" +
                                   value + " or " + option + " " + value,
                               std::string(command->name));
        }
    }
    return 0;
}

int run(int argc, char** argv) {
    // The first word that is not an option names the command.
    const CommandRow* command = nullptr;
    for (int i = 1; i < argc && command == nullptr; ++i) {
        std::string word = argv[i];
        if (word.empty() || word[0] != '-') {
            command = find_command(word);
            if (command == nullptr)
                return usage_error("'" + word + "' is not a command; the commands are " +
                                   command_names(" and "));
        }
    }
    const std::string name = command != nullptr ? std::string(command->name) : "";

    CLI::App app{"keywatch-log"};
    app.name("keywatch-log");
    app.formatter_fn([](const CLI::App* shown, std::string, CLI::AppFormatMode) {
        const CommandRow* row = find_command(shown->get_name());
        return row != nullptr ? command_help(*row) : main_help();
    });
    app.require_subcommand(1);
    // Options are written the GNU way on every system; a file name such as
    // /home/me/Key_Events_Sent.log (or Z:/... under Wine) is never an option.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "keywatch-log " KEYWATCH_VERSION);

    Settings settings;
    for (const CommandRow& row : command_table) {
        CLI::App* sub = app.add_subcommand(std::string(row.name));
        if (row.two_captures) {
            sub->add_option("A", settings.file)->required();
            sub->add_option("B", settings.second)->required();
        } else {
            sub->add_option("FILE", settings.file);
        }
        for (Opt id : row.takes) {
            std::string flags(option(id).flags);
            std::erase(flags, ' ');
            option(id).add(*sub, flags, settings.options);
        }
        for (CLI::Option* option : sub->get_options())
            option->type_name(option->get_name().front() == '-' ? "VALUE" : option->get_name());
        // What is left over is said in the command's own words (left_over()).
        sub->allow_extras();
    }

    if (argc < 2)
        return usage_error("a command is needed: " + command_names(" or "));
    if (int status = empty_values(argc, argv, command))
        return status;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ArgumentMismatch& e) {
        // "--top: 1 required VALUE missing", and the like
        std::string what = e.what();
        return usage_error(what.substr(0, what.find(':')) + " needs one value", name);
    } catch (const CLI::RequiredError& e) {
        if (command != nullptr && command->two_captures)
            return usage_error(name + " needs two captures, A and B", name);
        return usage_error(e.what(), name);
    } catch (const CLI::ParseError& e) {
        return usage_error(e.what(), name);
    }

    for (const CommandRow& row : command_table) {
        CLI::App* sub = app.get_subcommand(std::string(row.name));
        if (!sub->parsed())
            continue;
        if (int status = left_over(sub->remaining(), row))
            return status;
        // Without a file, the log is looked for where the simulator writes it.
        if (!row.two_captures && settings.file.empty() &&
            (settings.file = kwlog::find_log_or_say(std::string(row.name))).empty())
            return 2;
        return row.run(settings);
    }
    return usage_error("a command is needed: " + command_names(" or "));
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The arguments as UTF-8, from Windows' UTF-16 command line: a path in
    // any language, whatever the code page.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 0; wide != nullptr && i < count; ++i)
        words.push_back(kwlog::to_utf8(wide[i]));
    LocalFree(wide);
    std::vector<char*> pointers;
    for (std::string& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    if (!words.empty()) {
        argc = count;
        argv = pointers.data();
    }
#else
    // A reader that goes away shows as a failed write, which ends the run
    // quietly, as on Windows.
    std::signal(SIGPIPE, SIG_IGN);
    // A standard stream started closed (summary log >&-) is held by a file
    // that refuses its use, so that it fails as a stream and the log opened
    // next does not take its number (and pass for standard output).
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            int held = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
            (void)held; // it is fd, the lowest number free
        }
#endif
    // Double-clicked: the window would close before its words could be
    // read (own_console.h).
    if (!kwlog::console_is_own())
        return run(argc, argv);
    int status = 2;
    if (argc < 2)
        kwlog::explain_double_click();
    else
        status = run(argc, argv);
    kwlog::wait_for_enter();
    return status;
}
