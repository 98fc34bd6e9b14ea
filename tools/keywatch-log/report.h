// keywatch-log report: one self-contained HTML page of a log, a section per
// session with its facts, a timeline, the busiest events and the tables of
// bursts, steady repeats and tugs-of-war. Inline CSS and SVG only: nothing
// is fetched and no script runs, so the page can be mailed or attached to a
// forum post as it is.
#pragma once

#include "session.h"

#include <string>

namespace kwlog {

struct ReportOptions {
    AnalysisOptions analysis;
    bool strict = false;
    std::string output; // empty: standard output
    std::string names;  // a names file for add-ons' events, or none
};

// The busiest events charted per session.
constexpr size_t report_busiest = 15;

int run_report(const std::string& file, const ReportOptions& options);

} // namespace kwlog
