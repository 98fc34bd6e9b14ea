// keywatch-log report: one self-contained HTML page of a log, a section per
// session with its facts, a timeline, its events in order, its add-on
// events, the busiest events and the tables of bursts, steady repeats and
// tugs-of-war. Inline CSS and SVG only: nothing is fetched and no script
// runs, so the page can be mailed or attached to a forum post as it is.
#pragma once

#include <cstddef>

namespace kwlog {

// The page's bounds, whatever the log: the busiest events listed per
// session; the lines at each end of a session's events in order; the add-on
// events listed per session; the last sessions shown in full, as many as fit
// in a size (a session at its busiest takes about 360 KB); and the sessions
// before those listed one row each, all earlier ones together in one row.
// A text from the log (a name, an aircraft text, a path) is shown up to a
// length no real one reaches, however long an edited line made it; an
// aircraft title in a row of the earlier sessions, shorter still.
constexpr size_t report_busiest = 15;
constexpr size_t report_sequence_ends = 100;
constexpr size_t report_addons = 100;
constexpr size_t report_full_sessions = 10;
constexpr size_t report_full_bytes = 1200 * 1024;
constexpr size_t report_brief_sessions = 500;
constexpr size_t report_text_most = 300;
constexpr size_t report_row_text_most = 60;

} // namespace kwlog
