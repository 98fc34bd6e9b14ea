// The three commands of keywatch-log. Each returns the program's exit status:
// 0 done; 1 input that is not a keywatch log (no record at all, or under
// --strict a line that is none); 2 a file that cannot be read or written.
#pragma once

#include "files.h"
#include "pattern.h"
#include "reader.h"

#include <optional>
#include <string>

namespace kwlog {

struct SummaryOptions {
    unsigned top = 10;          // busiest events and bursts shown per session
    unsigned burst_gap_ms = 50; // the largest gap inside a burst
    unsigned burst_min = 3;     // the fewest events that make a burst
    bool strict = false;
};

struct CsvOptions {
    bool all = false; // load and control lines too
    bool strict = false;
    std::string output; // empty: standard output
};

struct FollowOptions {
    std::optional<NamePattern> only, hide; // over the event's name
    bool from_start = false;               // show what the file already holds first
    unsigned poll_ms = 100;
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

int run_summary(const std::string& file, const SummaryOptions& options);
int run_csv(const std::string& file, const CsvOptions& options);
int run_follow(const std::string& file, const FollowOptions& options);

} // namespace kwlog
