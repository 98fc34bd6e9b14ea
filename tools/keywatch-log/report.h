// keywatch-log report: one self-contained HTML page of a log, a section per
// session with its facts, a timeline, the busiest events and the tables of
// bursts, steady repeats and tugs-of-war. Inline CSS and SVG only: nothing
// is fetched and no script runs, so the page can be mailed or attached to a
// forum post as it is.
#pragma once

#include <cstddef>

namespace kwlog {

// The busiest events charted per session.
constexpr size_t report_busiest = 15;

} // namespace kwlog
