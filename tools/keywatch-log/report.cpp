// keywatch-log report: the page (see report.h). One pass over the log, as
// summary makes it; each session's section is made as the session ends. The
// last few sections are kept, and each older one leaves only a row for the
// table of earlier sessions (the oldest rows only a count), so that the
// page and the memory stay bounded whatever the log's size. The timeline is
// in report_charts.cpp, the views of the events themselves in
// report_events.cpp.
#include "report.h"
#include "commands.h"
#include "files.h"
#include "html_text.h"
#include "report_charts.h"
#include "report_events.h"
#include "session_pass.h"
#include "timeline.h"
#include "writing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>

namespace kwlog {
namespace {

// Light by default, dark where the system asks for it. Logging on and off
// take the gauge's ON green and OFF red: as they are on a dark page, a
// shade darker on a light one, where pure green would barely show.
const char* const page_head = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="color-scheme" content="light dark">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">
<title>)";

const char* const page_style = R"(</title>
<style>
:root { color-scheme: light dark; --fg: #1b1b1b; --muted: #575757; --bg: #ffffff;
  --rule: #cfcfcf; --grid: #e6e6e6; --bar: #2f67a6; --on: #007a00; --off: #d00000;
  --burst: #b35900; --repeat: #6b3fa0; --tug: #00758a; }
@media (prefers-color-scheme: dark) {
  :root { --fg: #e8e8e8; --muted: #a8a8a8; --bg: #161616; --rule: #454545; --grid: #2f2f2f;
    --bar: #73a9e6; --on: #00ff00; --off: #ff0000; --burst: #ffa040; --repeat: #c29dff;
    --tug: #3fc9dc; }
}
body { margin: 0 auto; max-width: 70rem; padding: 1rem 1.25rem 3rem; background: var(--bg);
  color: var(--fg); font: 15px/1.45 system-ui, sans-serif; }
h1 { font-size: 1.5rem; margin: .5rem 0 0; }
h2 { font-size: 1.25rem; margin: 2rem 0 .25rem; padding-top: 1rem;
  border-top: 2px solid var(--rule); }
h3 { font-size: 1rem; margin: 1.5rem 0 .5rem; }
.muted, figcaption, summary { color: var(--muted); }
dl { display: grid; grid-template-columns: max-content 1fr; gap: .1rem 1rem; margin: .75rem 0; }
dt { color: var(--muted); }
dd { margin: 0; overflow-wrap: anywhere; }
.warning { color: var(--off); }
figure { margin: 0; }
figcaption { font-size: .9rem; margin: .25rem 0 .5rem; }
svg { display: block; width: 100%; height: auto; font: 11px system-ui, sans-serif; }
svg text { fill: var(--muted); }
.end { text-anchor: end; }
.middle { text-anchor: middle; }
.bars rect { fill: var(--bar); shape-rendering: crispEdges; }
.grid { stroke: var(--grid); }
.axis { stroke: var(--muted); }
.lane { stroke: var(--grid); stroke-dasharray: 2 3; }
line.stop { stroke: var(--off); stroke-width: 1.5; }
line.start { stroke: var(--on); stroke-width: 1.5; }
line.began { stroke: var(--fg); stroke-dasharray: 4 3; }
svg .began-label { fill: var(--fg); }
rect.on { fill: var(--on); }
rect.off { fill: var(--off); }
rect.burst { fill: var(--burst); }
rect.repeat { fill: var(--repeat); }
rect.tug { fill: var(--tug); }
.key { display: inline-block; width: .8em; height: .8em; margin: 0 .3em 0 .15em;
  vertical-align: -.05em; border-radius: 2px; }
.key.stop { background: var(--off); }
.key.start { background: var(--on); }
.key.began { border: 1px dashed var(--fg); }
.key.burst { background: var(--burst); }
.key.repeat { background: var(--repeat); }
.key.tug { background: var(--tug); }
table { border-collapse: collapse; font-variant-numeric: tabular-nums; margin: .25rem 0; }
th, td { padding: .15rem .6rem; border-bottom: 1px solid var(--rule); text-align: left;
  vertical-align: top; }
th { font-weight: 600; }
.num { text-align: right; white-space: nowrap; }
td.name { overflow-wrap: anywhere; min-width: 16em; }
td.bar { width: 12rem; padding-left: 0; padding-right: 0; }
td.bar span { display: block; height: .9em; margin-top: .2em; background: var(--bar); }
.scroll { width: fit-content; max-width: 100%; max-height: 26rem; overflow-y: auto;
  border: 1px solid var(--rule); }
.scroll table { margin: 0; }
.scroll thead th { position: sticky; top: 0; background: var(--bg); }
tr.user td { font-weight: 600; }
tr.change td, tr.gap td { color: var(--muted); font-style: italic; }
tr.gap td { text-align: center; }
a { color: var(--bar); }
p.brief { margin: .5rem 0; }
p.brief b { font-size: 1.05rem; }
summary { cursor: pointer; font-size: .9rem; }
footer { margin-top: 2.5rem; padding-top: 1rem; border-top: 2px solid var(--rule); }
</style>
</head>
<body>
)";

// About one simulator frame: events closer than this may share a moment.
constexpr int64_t frame_micros = 50000;

void append_seconds(std::string& out, int64_t micros) {
    append_time(out, micros);
    out += " s";
}

// "2 s", or "1500 ms" when not whole seconds.
void append_duration(std::string& out, unsigned ms) {
    append_number(out, ms % 1000 == 0 ? ms / 1000 : ms);
    out += ms % 1000 == 0 ? " s" : " ms";
}

// The session's lines: "lines 2–56".
void append_lines(std::string& out, const Session& s, const char* word = "lines ") {
    out += word;
    append_number(out, s.first_line);
    out += "\u2013";
    append_number(out, s.last_line);
}

// A table of rows, or a line saying there are none.
template <class Row, class Put>
void put_html_table(std::string& out, const std::vector<Row>& rows, const char* none,
                    std::string_view head, Put put) {
    put_table(out, rows, std::string("<p class=\"muted\">") + none + "</p>\n",
              "<table><thead><tr>" + std::string(head) + "</tr></thead><tbody>\n",
              "</tbody></table>\n", [&](const Row& row) {
                  out += "<tr>";
                  put(row);
                  out += "</tr>\n";
              });
}

void cell_event(std::string& out, const Session& s, uint32_t event, const EventNames& names) {
    cell_number(out, s.events.id(event));
    out += "<td class=\"name\">";
    append_html(out, names.shown(s.events.id(event), s.events.name(event)), report_text_most);
    out += "</td>";
}

// The part of the page for sessions before the last few: a row each, and
// before those rows, all the oldest sessions in one.
struct Earlier {
    uint64_t sessions = 0, first = 0, last = 0, first_line = 0, last_line = 0;
    uint64_t events = 0, user_events = 0;
};

class ReportWriter {
  public:
    ReportWriter(Output& output, const EventNames& names, const AnalysisOptions& options)
        : output_(output), names_(names), options_(options) {}

    // What the session pass hands over (see session_pass.h).
    void event(const EventKey& key, int64_t micros) {
        timeline_.add_event(micros);
        events_.event(key.event, key.data, key.user, micros);
    }
    void record(const Record& r) {
        if (r.kind == Kind::logging_stopped) {
            timeline_.add_stop(r.micros);
            events_.change(false, r.micros);
        } else if (r.kind == Kind::logging_started) {
            timeline_.add_start(r.micros);
            events_.change(true, r.micros);
        } else {
            timeline_.add_other(r.micros);
        }
    }
    bool ended(const Session& s);
    // The sessions kept, after the table of earlier ones; true when written.
    bool finish();

  private:
    struct Kept {
        std::string section, row; // the session in full, and as a row of the table
        uint64_t number, first_line, last_line, events, user_events;
    };
    void put_section(std::string& out, const Session& s);
    void put_facts(std::string& out, const Session& s);
    void put_runs(std::string& out, const Session& s);
    void put_row(std::string& out, const Session& s);
    void put_earlier();

    Output& output_;
    const EventNames& names_;
    const AnalysisOptions& options_;
    Timeline timeline_;
    SessionEvents events_{report_sequence_ends};
    std::deque<Kept> full_, brief_; // the last sessions, and the rows before them
    Earlier earliest_;              // the sessions before the rows
    size_t full_bytes_ = 0;         // the size of the sections in full_
};

bool ReportWriter::ended(const Session& s) {
    Kept kept{{},           {}, s.number, s.first_line, s.last_line, s.key_events + s.user_events,
              s.user_events};
    put_section(kept.section, s);
    put_row(kept.row, s);
    timeline_ = Timeline();
    events_ = SessionEvents(report_sequence_ends);
    full_bytes_ += kept.section.size();
    full_.push_back(std::move(kept));
    while (full_.size() > report_full_sessions ||
           (full_.size() > 1 && full_bytes_ > report_full_bytes)) {
        full_bytes_ -= full_.front().section.size();
        full_.front().section.clear();
        brief_.push_back(std::move(full_.front()));
        full_.pop_front();
    }
    if (brief_.size() > report_brief_sessions) {
        const Kept& k = brief_.front();
        if (earliest_.sessions++ == 0) {
            earliest_.first = k.number;
            earliest_.first_line = k.first_line;
        }
        earliest_.last = k.number;
        earliest_.last_line = k.last_line;
        earliest_.events += k.events;
        earliest_.user_events += k.user_events;
        brief_.pop_front();
    }
    return true;
}

void ReportWriter::put_row(std::string& out, const Session& s) {
    out += "<tr>";
    cell_number(out, s.number);
    out += "<td class=\"num\">";
    append_lines(out, s, "");
    out += "</td><td>";
    out += s.began == Session::Began::reset  ? "Reset"
           : s.began == Session::Began::load ? "load"
                                             : "";
    out += "</td><td class=\"name\">";
    if (!s.have_aircraft)
        out += "<span class=\"muted\">not recorded</span>";
    else if (s.title.empty())
        out += "<span class=\"muted\">none yet</span>";
    else
        append_html(out, s.title, report_row_text_most);
    out += "</td>";
    cell_time(out, s.lowest_time);
    cell_time(out, s.highest_time - s.lowest_time);
    cell_number(out, s.key_events + s.user_events);
    cell_number(out, s.user_events);
    out += "</tr>\n";
}

void ReportWriter::put_earlier() {
    if (brief_.empty())
        return;
    const Earlier& e = earliest_;
    uint64_t first = e.sessions > 0 ? e.first : brief_.front().number;
    uint64_t last = brief_.back().number;
    std::string out = "<section id=\"earlier\">\n<h2>Sessions ";
    append_number(out, first);
    out += "\u2013";
    append_number(out, last);
    out += " in brief</h2>\n<p class=\"muted\">The page shows the last ";
    append_plural(out, full_.size(), "session", "sessions");
    out += " in full, <a href=\"#session-";
    append_number(out, full_.front().number);
    out += "\">below</a>. The ";
    append_number(out, brief_.size());
    out += " before them have a row each";
    if (e.sessions > 0) {
        out += ", and the ";
        append_number(out, e.sessions);
        out += " before those one row together";
    }
    out += ".</p>\n<table class=\"earlier\"><thead><tr><th class=\"num\">session</th>"
           "<th class=\"num\">lines</th><th>began with</th><th>aircraft</th>"
           "<th class=\"num\">from (s)</th><th class=\"num\">length (s)</th>"
           "<th class=\"num\">events</th><th class=\"num\">add-on</th></tr></thead><tbody>\n";
    if (e.sessions > 0) {
        out += "<tr class=\"together\"><td class=\"num\">";
        append_number(out, e.first);
        out += "\u2013";
        append_number(out, e.last);
        out += "</td><td class=\"num\">";
        append_number(out, e.first_line);
        out += "\u2013";
        append_number(out, e.last_line);
        out += "</td><td colspan=\"4\">";
        append_plural(out, e.sessions, "session", "sessions");
        out += " together</td>";
        cell_number(out, e.events);
        cell_number(out, e.user_events);
        out += "</tr>\n";
    }
    output_.put(out);
    for (const Kept& k : brief_)
        output_.put(k.row);
    output_.put("</tbody></table>\n</section>\n");
}

bool ReportWriter::finish() {
    put_earlier();
    for (const Kept& k : full_)
        output_.put(k.section);
    return output_.flush();
}

void ReportWriter::put_facts(std::string& out, const Session& s) {
    out += "<dl>\n<dt>Aircraft</dt><dd>";
    if (s.have_aircraft && s.title.empty() && s.type.empty() && s.model.empty()) {
        out += "none yet (empty texts: no flight was loaded)";
    } else if (s.have_aircraft) {
        append_html(out, s.title, report_text_most);
        out += " (type ";
        append_html(out, s.type, report_text_most);
        out += ", model ";
        append_html(out, s.model, report_text_most);
        out += ")";
    } else {
        out += "not recorded";
    }
    out += "</dd>\n<dt>Module</dt><dd>";
    if (s.path.empty())
        out += "not recorded";
    else
        append_html(out, s.path, report_text_most);
    if (s.path_from != 0) {
        out += " <span class=\"muted\">(loaded in session ";
        append_number(out, s.path_from);
        out += ")</span>";
    }
    out += "</dd>\n<dt>Time</dt><dd>";
    append_seconds(out, s.lowest_time);
    out += " to ";
    append_seconds(out, s.highest_time);
    out += " (";
    append_seconds(out, s.highest_time - s.lowest_time);
    out += ")</dd>\n";
    if (s.went_back > 0) {
        out += "<dt>Warning</dt><dd class=\"warning\">the time went back ";
        append_plural(out, s.went_back, "time", "times");
        out += " (first at line ";
        append_number(out, s.first_back_line);
        out += ")</dd>\n";
    }
    out += "<dt>Events</dt><dd>";
    append_number(out, s.key_events + s.user_events);
    out += " written: ";
    append_number(out, s.key_events);
    out += " key, ";
    append_number(out, s.user_events);
    out += " user-defined</dd>\n<dt>Logging</dt><dd>";
    append_plural(out, s.stops, "stop", "stops");
    out += ", ";
    append_plural(out, s.starts, "start", "starts");
    out += s.closed ? "; the log file was closed" : "; the log file was not closed";
    out += "</dd>\n";
    if (s.bad_lines > 0) {
        out += "<dt>Skipped</dt><dd>";
        append_plural(out, s.bad_lines, "line that was not a keywatch record",
                      "lines that were not keywatch records");
        out += "</dd>\n";
    }
    if (s.key_events + s.user_events > 0) {
        out += "<dt>Peak rate</dt><dd>";
        append_number(out, s.peak);
        out += " events/s (the second up to ";
        append_seconds(out, (s.peak_end_ms + 1) * 1000);
        out += ")</dd>\n";
    }
    out += "</dl>\n";
}

void ReportWriter::put_runs(std::string& out, const Session& s) {
    const AnalysisOptions& o = options_;
    out += "<h3>Bursts <span class=\"muted\">(";
    append_number(out, o.burst_min);
    out += " or more of one event and data, gaps up to ";
    append_number(out, o.burst_gap_ms);
    out += " ms; longest first)</span></h3>\n";
    put_html_table(out, s.bursts, "None.",
                   "<th class=\"num\">start (s)</th><th class=\"num\">events</th>"
                   "<th class=\"num\">length (s)</th><th class=\"num\">per second</th>"
                   "<th class=\"num\">id</th><th>event</th><th class=\"num\">data</th>",
                   [&](const Burst& b) {
                       cell_time(out, b.start);
                       cell_number(out, b.count);
                       cell_time(out, b.last - b.start);
                       // Events of one simulator frame (about 1/20 s) share
                       // a moment: a rate among them would mean nothing.
                       if (b.last - b.start > frame_micros) {
                           out += "<td class=\"num\">";
                           append_rate(out, b.count, b.last - b.start);
                       } else {
                           out += "<td class=\"num muted\">within a frame";
                       }
                       out += "</td>";
                       cell_event(out, s, b.event, names_);
                       cell_number(out, b.data);
                   });

    out += "<h3>Steady repeats <span class=\"muted\">(";
    append_number(out, o.repeat_min);
    out += " or more sends of one event, gaps up to ";
    append_number(out, o.repeat_gap_ms);
    out += " ms, for ";
    append_duration(out, o.repeat_span_ms);
    out += " or longer; most sends first)</span></h3>\n";
    put_html_table(out, s.repeats, "None.",
                   "<th class=\"num\">start (s)</th><th class=\"num\">sends</th>"
                   "<th class=\"num\">length (s)</th><th class=\"num\">median gap (s)</th>"
                   "<th class=\"num\">values</th><th class=\"num\">id</th><th>event</th>",
                   [&](const Repeat& r) {
                       cell_time(out, r.start);
                       cell_number(out, r.count);
                       cell_time(out, r.last - r.start);
                       cell_time(out, r.median_gap);
                       out += "<td class=\"num\">";
                       if (r.more_values)
                           out += "&gt;";
                       append_number(out, r.values);
                       out += "</td>";
                       cell_event(out, s, r.event, names_);
                   });

    out += "<h3>Tug-of-war <span class=\"muted\">(data going back to a value it just had, ";
    append_number(out, o.tug_min);
    out += " times or more; most reversals first)</span></h3>\n";
    put_html_table(out, s.tugs, "None.",
                   "<th class=\"num\">start (s)</th><th class=\"num\">reversals</th>"
                   "<th class=\"num\">length (s)</th><th class=\"num\">id</th><th>event</th>"
                   "<th>values</th>",
                   [&](const Tug& t) {
                       cell_time(out, t.start);
                       cell_number(out, t.reversals);
                       cell_time(out, t.last - t.start);
                       cell_event(out, s, t.event, names_);
                       out += "<td>";
                       append_values(out, t);
                       out += "</td>";
                   });
}

void ReportWriter::put_section(std::string& out, const Session& s) {
    out += "<section id=\"session-";
    append_number(out, s.number);
    if (only_started(s)) {
        // The simulator's start, before any flight: one line says it all.
        out += "\">\n<p class=\"brief\"><b>Session ";
        append_number(out, s.number);
        out += "</b> <span class=\"muted\">(";
        append_lines(out, s);
        out += ")</span>: keywatch started at ";
        append_seconds(out, s.lowest_time);
        out += ", before any aircraft was loaded; no events";
        if (!s.path.empty()) {
            out += " <span class=\"muted\">(";
            append_html(out, s.path, report_text_most);
            out += ")</span>";
        }
        out += s.closed ? "; the log file was closed.</p>\n</section>\n" : ".</p>\n</section>\n";
        return;
    }
    out += "\">\n<h2>Session ";
    append_number(out, s.number);
    out += " <span class=\"muted\">(";
    append_lines(out, s);
    out += ", ";
    out += began_text(s.began);
    out += ")</span></h2>\n";
    put_facts(out, s);

    out += "<h3>Events over time</h3>\n";
    put_timeline(out, s, timeline_, names_);

    if (s.key_events + s.user_events == 0) {
        out += "<p class=\"muted\">No events were written in this session.</p>\n";
    } else {
        events_.put_sequence(out, s, names_);
        events_.put_addons(out, s, names_, report_addons);
        out += "<h3>Busiest events <span class=\"muted\">(";
        append_number(out, std::min(report_busiest, s.events.size()));
        out += s.events.others_count() > 0 ? " of more than " : " of ";
        append_number(out, s.events.size());
        out += ", with the data they came with)</span></h3>\n";
        events_.put_busiest(out, s, names_, report_busiest);
        if (uint64_t others = s.events.others_count(); others > 0) {
            out += "<p>";
            append_plural(out, others, "event", "events");
            out += " of other kinds, beyond the first ";
            append_number(out, EventCounts::most_events);
            out += " distinct, counted together.</p>\n";
        }
        put_runs(out, s);
    }
    out += "</section>\n";
}

} // namespace

int run_report(const std::string& file, const Options& options) {
    EventNames names;
    Input input;
    Output output;
    if (!open_log(options.names, names, input, file) || !output.open_file(options.output, input))
        return 2;

    std::string out = page_head;
    out += "keywatch report: ";
    append_html(out, input.name());
    out += page_style;
    out += "<header>\n<h1>keywatch report</h1>\n<p class=\"muted\">";
    append_html(out, input.name());
    out += ": the key events keywatch logged, session by session. A session begins at each "
           "load of the module and at each Reset; times are seconds since the module "
           "started.</p>\n</header>\n";
    output.put(out);

    ReportWriter writer(output, names, options.analysis);
    LogReader reader(input.file(), input.name(), options.strict);
    SessionPass pass(options.analysis, writer);
    reader.read(pass);
    if (output.failed())
        return output.close(0);
    if (int status = end_of_input(reader, output))
        return status;
    uint64_t sessions = 0;
    if (Session* last = pass.last_session(reader.bad_lines())) {
        writer.ended(*last);
        sessions = last->number;
    }
    writer.finish();
    out = "<footer class=\"muted\">";
    append_plural(out, sessions, "session", "sessions");
    out += ", ";
    append_plural(out, reader.lines(), "line", "lines");
    out += " in all.</footer>\n</body>\n</html>\n";
    output.put(out);
    return output.close(0);
}

} // namespace kwlog
