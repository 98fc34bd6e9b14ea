// The five commands of keywatch-log, whose table is the command line's
// (main.cpp). Each returns the program's exit status: 0 done; 1 input that
// is not a keywatch log (no record at all, or under --strict a line that is
// none), or for diff captures that differ; 2 a file that cannot be read or
// written (for diff, a file that is not a keywatch log too).
#pragma once

#include "files.h"
#include "names.h"
#include "pattern.h"
#include "reader.h"
#include "session.h"

#include <optional>
#include <string>

namespace kwlog {

// Every command's options, each once; a command reads those it takes.
struct Options {
    AnalysisOptions analysis; // summary and report; its top is also the busiest events shown
    bool strict = false;      // a line that is no record ends the reading
    std::string names;        // a names file for add-ons' events, or none
    std::string output;       // csv and report: empty for standard output
    bool all = false;         // csv: load and control lines too
    std::optional<NamePattern> only, hide; // follow: over the event's name as shown
    bool from_start = false;               // follow: show what the file already holds first
    unsigned poll_ms = 100;                // follow
    bool data = false;                     // diff: events told apart by their data too
    bool csv = false;                      // diff: the tables as CSV
};

// After the last record: the reader's exit status, and when it is not 0
// (input that is not a keywatch log, or cannot be read) what has not been
// written yet is thrown away, so a failed run leaves no half output.
inline int end_of_input(LogReader& reader, Output& output) {
    int status = reader.finish();
    if (status != 0)
        output.discard();
    return status;
}

int run_summary(const std::string& file, const Options& options);
int run_csv(const std::string& file, const Options& options);
int run_follow(const std::string& file, const Options& options);
// Two captures: files, or sessions of them ("FILE:N").
int run_diff(const std::string& a, const std::string& b, const Options& options);
int run_report(const std::string& file, const Options& options);

// Reads the names file, if one is given; false when it cannot be read.
inline bool read_names(const std::string& path, EventNames& names) {
    return path.empty() || names.read(path);
}

// Where summary, csv and report begin: the names file read, then the log
// opened; false when either fails (the reason said).
inline bool open_log(const std::string& names_path, EventNames& names, Input& input,
                     const std::string& file) {
    return read_names(names_path, names) && input.open(file);
}

} // namespace kwlog
