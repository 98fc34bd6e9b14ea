// keywatch-log: reads a keywatch Key_Events_Sent.log back. This file is the
// command line: the options, their checks and the help texts, written out in
// full so that they read like a manual page rather than the option library's
// notation.
#include "commands.h"
#include "locate.h"
#include "report.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

const char* const main_help = R"(usage: keywatch-log <command> [options] [FILE]

Reads a keywatch log (Key_Events_Sent.log) back. Sessions begin at each load
of the gauge module and at each Reset.

Commands:
  summary             per session: aircraft, module, time span, events,
                      logging stops and starts, busiest events, peak rate,
                      bursts, steady repeats and tug-of-war
  csv                 every event line as CSV (RFC 4180), for a spreadsheet
  follow              each record as the simulator appends it, like tail -f
  diff                the events that differ between two logs or sessions
  report              one HTML page per log: a timeline of each session,
                      its busiest events, bursts, repeats and tug-of-war

Options:
  -h, --help          show this help
  --version           show the version

FILE is the log's path; - reads standard input (all but follow). Without
FILE, every command but diff reads Key_Events_Sent.log from the current
folder, else from the user's Documents\Prepar3D v4 Files, else (on Windows)
from the simulator's folder as the registry gives it, and says which.

Examples:
  keywatch-log summary Key_Events_Sent.log
  keywatch-log csv --all -o events.csv Key_Events_Sent.log
  keywatch-log follow --hide "AXIS|TRIM" Key_Events_Sent.log
  keywatch-log diff button.log switch.log
  keywatch-log report -o flight.html Key_Events_Sent.log

Run 'keywatch-log <command> --help' for a command's options.

Exit status: 0 done; 1 the file is not a keywatch log (it holds no record,
or with --strict a line is not one), or diff found the captures differ; 2 a
wrong option, or a file that cannot be found, read or written.
)";

const char* const summary_help = R"(usage: keywatch-log summary [options] [FILE]

Per session: the aircraft, the module's path, the time span, the events
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

Options:
  --top N             show the N busiest events, and the N longest bursts,
                      repeats and tugs-of-war, of each session (1 to
                      100000; default 10)
  --burst-gap MS      the longest gap within a burst, in milliseconds
                      (0 to 3600000; default 50)
  --burst-min N       the fewest events that make a burst (2 to 1000000000;
                      default 3)
  --repeat-gap MS     the longest gap within a steady repeat, in
                      milliseconds (1 to 3600000; default 500)
  --repeat-min N      the fewest sends that make a steady repeat (2 to
                      1000000000; default 10); it must also last 2 s
  --names NAMES       show add-on events by the names in the file NAMES
  --strict            stop at the first line that is not a keywatch record
                      (exit status 1) instead of skipping it
  -h, --help          show this help

A reversal is a change back to one of the two values before the present
one. A tug-of-war begins with three reversals and ends after three changes
in a row that are not.

NAMES holds a name a line: NAME NUMBER, #define NAME NUMBER, or #define NAME
(THIRD_PARTY_EVENT_ID_MIN + N), as add-on makers' headers have them, with
numbers in decimal or hexadecimal (0x11000). A named add-on event shows as
NAME (User_Defined_Event). Lines of other forms are reported and skipped.

FILE is the log's path, or - for standard input; without it, the log is
looked for (see keywatch-log --help).

Examples:
  keywatch-log summary Key_Events_Sent.log
  keywatch-log summary --top 3 --burst-gap 200 Key_Events_Sent.log
  keywatch-log summary --names MyAddonEvents.h

Exit status: 0 done; 1 not a keywatch log; 2 a wrong option, a file that
cannot be found or read, or output that cannot be written.
)";

const char* const csv_help = R"(usage: keywatch-log csv [options] [FILE]

Every event line as one CSV row (RFC 4180, CR LF line ends) under the header
session,time,kind,id,name,data; kind is key or user.

Options:
  --all               add the load and control lines (kinds aircraft-loaded,
                      gauge-loaded, logging-stopped, logging-started,
                      gauge-refreshed, aircraft-title, log-file-closed),
                      their text in the name column
  -o, --output OUT    write to the file OUT rather than standard output; it
                      is written whole or not at all, and may not be FILE
  --names NAMES       name add-on events by the file NAMES (see keywatch-log
                      summary --help): NAME (User_Defined_Event)
  --strict            stop at the first line that is not a keywatch record
                      (exit status 1) instead of skipping it
  -h, --help          show this help

FILE is the log's path, or - for standard input; without it, the log is
looked for (see keywatch-log --help).

Examples:
  keywatch-log csv -o events.csv Key_Events_Sent.log
  keywatch-log csv --all Key_Events_Sent.log

Exit status: 0 done; 1 not a keywatch log; 2 a wrong option, or a file that
cannot be found, read or written.
)";

const char* const follow_help = R"(usage: keywatch-log follow [options] [FILE]

Shows each record as the simulator appends it to FILE, like tail -f. It goes
on across a Reset, which empties the file, and waits for a file that is not
there yet. Load and control lines always show. Stop it with Ctrl+C.

Options:
  --only PATTERN      show only the events whose name matches PATTERN
  --hide PATTERN      leave out the events whose name matches PATTERN
  --from-start        show the records already in the file first
  --names NAMES       name add-on events by the file NAMES (see keywatch-log
                      summary --help): NAME (User_Defined_Event)
  -h, --help          show this help

A PATTERN matches anywhere in an event's name as shown, letter case
counting: * stands for any text, ? for one character, and | separates
alternatives. "GEAR|FLAPS" matches KEY_GEAR_UP and KEY_FLAPS_INCR;
"KEY_AP_*_HOLD" matches KEY_AP_HDG_HOLD_ON.

FILE is the log's path (not standard input: it is opened again at each
look); without it, the log is looked for (see keywatch-log --help).

Examples:
  keywatch-log follow Key_Events_Sent.log
  keywatch-log follow --only "GEAR|FLAPS" --from-start Key_Events_Sent.log

Exit status: 0 stopped, as the reader of its output went away; 2 a wrong
option, or a file that cannot be found or read.
)";

const char* const diff_help = R"(usage: keywatch-log diff [options] A B

Compares two captures, each a log or one session of it: FILE:N is session N
of FILE, numbered as summary numbers them. It lists the events only in A,
those only in B, and those in both with different counts, the largest
difference first. Events are told apart by number and name, and with --data
by their data as well.

Options:
  --data              tell events apart by their data too
  --csv               write the tables as one CSV table (RFC 4180) for a
                      spreadsheet: in,id,name,a,b,difference, where in is
                      A, B or both (and data after name, with --data)
  --names NAMES       name add-on events by the file NAMES (see keywatch-log
                      summary --help): NAME (User_Defined_Event)
  --strict            stop at the first line that is not a keywatch record
                      instead of skipping it
  -h, --help          show this help

A or B may be - for standard input (one of them).

Examples:
  keywatch-log diff button.log switch.log
  keywatch-log diff --data Key_Events_Sent.log:1 Key_Events_Sent.log:2

Exit status: 0 the captures hold the same events, as many times each; 1
they differ; 2 a wrong option, a file that cannot be read or is not a
keywatch log, or a session the file does not have.
)";

const char* const report_help = R"(usage: keywatch-log report [options] [FILE]

Writes one HTML page of the log, a section per session: the aircraft, the
module's path, the time span, the events (key and user-defined apart),
logging stops and starts; a timeline of the events per time step (at most
600 steps, whatever the session's length) with the stops, starts, load or
Reset marked and the bursts, steady repeats and tugs-of-war drawn as bands;
a chart of the 15 busiest events; and the tables of bursts, repeats and
tugs-of-war (see keywatch-log summary --help). Every bar names its figure
when the pointer rests on it, and a table beside each chart holds the same
figures. The page is self-contained: it needs no script, fetches nothing,
and reads in light and dark mode.

Options:
  -o, --output OUT    write to the file OUT rather than standard output; it
                      is written whole or not at all, and may not be FILE
  --burst-gap MS      the longest gap within a burst, in milliseconds
                      (0 to 3600000; default 50)
  --burst-min N       the fewest events that make a burst (2 to 1000000000;
                      default 3)
  --repeat-gap MS     the longest gap within a steady repeat, in
                      milliseconds (1 to 3600000; default 500)
  --repeat-min N      the fewest sends that make a steady repeat (2 to
                      1000000000; default 10); it must also last 2 s
  --names NAMES       name add-on events by the file NAMES (see keywatch-log
                      summary --help): NAME (User_Defined_Event)
  --strict            stop at the first line that is not a keywatch record
                      (exit status 1) instead of skipping it
  -h, --help          show this help

FILE is the log's path, or - for standard input; without it, the log is
looked for (see keywatch-log --help).

Examples:
  keywatch-log report -o flight.html Key_Events_Sent.log
  keywatch-log report --names MyAddonEvents.h -o flight.html

Exit status: 0 done; 1 not a keywatch log; 2 a wrong option, or a file that
cannot be found, read or written.
)";

const char* help_for(const CLI::App* app) {
    std::string name = app->get_name();
    if (name == "summary")
        return summary_help;
    if (name == "csv")
        return csv_help;
    if (name == "follow")
        return follow_help;
    if (name == "diff")
        return diff_help;
    if (name == "report")
        return report_help;
    return main_help;
}

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

int usage_error(const std::string& message, const std::string& command = "") {
    kwlog::complain("%s\nRun 'keywatch-log %s%s--help' for %s.", message.c_str(), command.c_str(),
                    command.empty() ? "" : " ",
                    command.empty() ? "the commands and options" : "its options");
    return 2;
}

int run(int argc, char** argv) {
    // The first word that is not an option names the command.
    std::string command;
    for (int i = 1; i < argc && command.empty(); ++i) {
        std::string word = argv[i];
        if (word.empty() || word[0] != '-') {
            if (word != "summary" && word != "csv" && word != "follow" && word != "diff" &&
                word != "report")
                return usage_error("'" + word + "' is not a command; the commands are summary, " +
                                   "csv, follow, diff and report");
            command = word;
        }
    }

    CLI::App app{"keywatch-log"};
    app.name("keywatch-log");
    app.formatter_fn([](const CLI::App* shown, std::string, CLI::AppFormatMode) {
        return std::string(help_for(shown));
    });
    app.require_subcommand(1);
    // Options are written the GNU way on every system; a file name such as
    // /home/me/Key_Events_Sent.log (or Z:/... under Wine) is never an option.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "keywatch-log " KEYWATCH_VERSION);

    std::string file, second;
    kwlog::SummaryOptions summary;
    kwlog::AnalysisOptions& analysis = summary.analysis;
    auto* summary_cmd = app.add_subcommand("summary");
    summary_cmd->add_option("FILE", file);
    summary_cmd->add_option("--top", analysis.top)->check(whole_number(1, 100000));
    summary_cmd->add_option("--burst-gap", analysis.burst_gap_ms)->check(whole_number(0, 3600000));
    summary_cmd->add_option("--burst-min", analysis.burst_min)->check(whole_number(2, 1000000000));
    summary_cmd->add_option("--repeat-gap", analysis.repeat_gap_ms)
        ->check(whole_number(1, 3600000));
    summary_cmd->add_option("--repeat-min", analysis.repeat_min)
        ->check(whole_number(2, 1000000000));
    summary_cmd->add_option("--names", summary.names);
    summary_cmd->add_flag("--strict", summary.strict);

    kwlog::CsvOptions csv;
    auto* csv_cmd = app.add_subcommand("csv");
    csv_cmd->add_option("FILE", file);
    csv_cmd->add_flag("--all", csv.all);
    csv_cmd->add_option("-o,--output", csv.output);
    csv_cmd->add_option("--names", csv.names);
    csv_cmd->add_flag("--strict", csv.strict);

    kwlog::FollowOptions follow;
    auto* follow_cmd = app.add_subcommand("follow");
    follow_cmd->add_option("FILE", file);
    follow_cmd->add_option("--only")->check(name_pattern(follow.only));
    follow_cmd->add_option("--hide")->check(name_pattern(follow.hide));
    follow_cmd->add_flag("--from-start", follow.from_start);
    follow_cmd->add_option("--names", follow.names);

    kwlog::DiffOptions diff;
    auto* diff_cmd = app.add_subcommand("diff");
    diff_cmd->add_option("A", file)->required();
    diff_cmd->add_option("B", second)->required();
    diff_cmd->add_flag("--data", diff.data);
    diff_cmd->add_flag("--csv", diff.csv);
    diff_cmd->add_option("--names", diff.names);
    diff_cmd->add_flag("--strict", diff.strict);

    kwlog::ReportOptions report;
    auto* report_cmd = app.add_subcommand("report");
    report_cmd->add_option("FILE", file);
    report_cmd->add_option("-o,--output", report.output);
    report_cmd->add_option("--burst-gap", report.analysis.burst_gap_ms)
        ->check(whole_number(0, 3600000));
    report_cmd->add_option("--burst-min", report.analysis.burst_min)
        ->check(whole_number(2, 1000000000));
    report_cmd->add_option("--repeat-gap", report.analysis.repeat_gap_ms)
        ->check(whole_number(1, 3600000));
    report_cmd->add_option("--repeat-min", report.analysis.repeat_min)
        ->check(whole_number(2, 1000000000));
    report_cmd->add_option("--names", report.names);
    report_cmd->add_flag("--strict", report.strict);

    for (CLI::App* command : {summary_cmd, csv_cmd, follow_cmd, diff_cmd, report_cmd})
        for (CLI::Option* option : command->get_options())
            option->type_name(option->get_name().front() == '-' ? "VALUE" : option->get_name());

    if (argc < 2)
        return usage_error("a command is needed: summary, csv, follow, diff or report");
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
        return usage_error(what.substr(0, what.find(':')) + " needs one value", command);
    } catch (const CLI::RequiredError& e) {
        if (command == "diff")
            return usage_error("diff needs two captures, A and B", command);
        return usage_error(e.what(), command);
    } catch (const CLI::ParseError& e) {
        return usage_error(e.what(), command);
    }

    if (diff_cmd->parsed())
        return kwlog::run_diff(file, second, diff);
    // Without a file, the log is looked for where the simulator writes it.
    if (file.empty() && (file = kwlog::find_log_or_say(command)).empty())
        return 2;
    if (summary_cmd->parsed())
        return kwlog::run_summary(file, summary);
    if (csv_cmd->parsed())
        return kwlog::run_csv(file, csv);
    if (report_cmd->parsed())
        return kwlog::run_report(file, report);
    return kwlog::run_follow(file, follow);
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
#endif
    return run(argc, argv);
}
