// keywatch-log: reads a keywatch Key_Events_Sent.log back.
//
//   keywatch-log summary FILE [--top N] [--burst-gap MS] [--burst-min N] [--strict]
//   keywatch-log csv FILE [--all] [-o OUT] [--strict]
//   keywatch-log follow FILE [--only REGEX] [--hide REGEX] [--from-start]
//
// Exit status: 0 done, 1 a line that is no keywatch record under --strict,
// 2 a bad option or a file that cannot be read or written.
#include "commands.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace {

std::optional<std::regex> compile(const std::string& pattern, const char* option) {
    if (pattern.empty())
        return std::nullopt;
    try {
        return std::regex(pattern, std::regex::ECMAScript | std::regex::optimize);
    } catch (const std::regex_error& e) {
        throw CLI::ValidationError(option,
                                   "not a regular expression: " + pattern + " (" + e.what() + ")");
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Reads a keywatch log (Key_Events_Sent.log) back: a summary of each session, "
                 "the events as CSV, or the events as they are written."};
    app.name("keywatch-log");
    app.require_subcommand(1);
    // Options are written the GNU way on every system; a file name such as
    // /home/me/Key_Events_Sent.log (or Z:/... under Wine) is never an option.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "keywatch-log " KEYWATCH_VERSION);
    app.footer("Sessions begin at each load of the gauge module and at each Reset.\n"
               "Exit status: 0 done; 1 a line that is not a keywatch record, with --strict;\n"
               "2 a bad option, or a file that cannot be read or written.");

    std::string file;
    kwlog::SummaryOptions summary;
    auto* summary_cmd = app.add_subcommand(
        "summary", "Per session: aircraft, module, time span, events, logging stops and "
                   "starts, busiest events, peak rate and bursts");
    summary_cmd->add_option("file", file, "The log file")->required();
    summary_cmd->add_option("--top", summary.top, "Busiest events and bursts shown per session")
        ->capture_default_str()
        ->check(CLI::Range(1u, 1000000u));
    summary_cmd
        ->add_option("--burst-gap", summary.burst_gap_ms,
                     "Largest gap between two events of one burst, in milliseconds")
        ->capture_default_str()
        ->check(CLI::Range(0u, 3600000u));
    summary_cmd
        ->add_option("--burst-min", summary.burst_min,
                     "Fewest events of one name and data that make a burst")
        ->capture_default_str()
        ->check(CLI::Range(2u, 1000000000u));
    summary_cmd->add_flag("--strict", summary.strict,
                          "A line that is not a keywatch record is an error (exit status 1)");

    kwlog::CsvOptions csv;
    auto* csv_cmd = app.add_subcommand(
        "csv", "Every event line as CSV (RFC 4180): session,time,kind,id,name,data");
    csv_cmd->add_option("file", file, "The log file")->required();
    csv_cmd->add_flag("--all", csv.all,
                      "Load and control lines too (their text in the name column)");
    csv_cmd->add_option("-o,--output", csv.output, "Write to this file, not standard output");
    csv_cmd->add_flag("--strict", csv.strict,
                      "A line that is not a keywatch record is an error (exit status 1)");

    kwlog::FollowOptions follow;
    std::string only, hide;
    auto* follow_cmd = app.add_subcommand(
        "follow", "Print each record as it is appended, like tail -f; survives a Reset's "
                  "truncation and waits for a file that does not exist yet. Runs until "
                  "interrupted.");
    follow_cmd->add_option("file", file, "The log file")->required();
    follow_cmd->add_option("--only", only,
                           "Show only events whose name matches this regular expression "
                           "(ECMAScript, anywhere in the name)");
    follow_cmd->add_option("--hide", hide,
                           "Leave out events whose name matches this regular expression");
    follow_cmd->add_flag("--from-start", follow.from_start,
                         "Show what the file already holds first");

    try {
        app.parse(argc, argv);
        if (follow_cmd->parsed()) {
            follow.only = compile(only, "--only");
            follow.hide = compile(hide, "--hide");
        }
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "keywatch-log: %s\nRun 'keywatch-log --help' for the options.\n",
                     e.what());
        return 2;
    }

    if (summary_cmd->parsed())
        return kwlog::run_summary(file, summary);
    if (csv_cmd->parsed())
        return kwlog::run_csv(file, csv);
    return kwlog::run_follow(file, follow);
}
