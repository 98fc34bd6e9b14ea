// keywatch-log report: the page (see report.h). One pass over the log, as
// summary makes it; each session's section is written as the session ends,
// so the page streams out in bounded memory whatever the log's size. The
// charts are in report_charts.cpp.
#include "report.h"
#include "commands.h"
#include "files.h"
#include "html_text.h"
#include "report_charts.h"
#include "session_pass.h"
#include "timeline.h"
#include "writing.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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
svg.busiest { font-size: 13px; }
svg text { fill: var(--muted); }
svg .name, svg .count { fill: var(--fg); }
.end { text-anchor: end; }
.middle { text-anchor: middle; }
.bars rect, svg.busiest rect { fill: var(--bar); }
.bars rect { shape-rendering: crispEdges; }
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
td.name { overflow-wrap: anywhere; }
.pair { display: grid; grid-template-columns: minmax(0, 6fr) minmax(0, 5fr); gap: 1.5rem;
  align-items: start; }
@media (max-width: 50rem) { .pair { grid-template-columns: minmax(0, 1fr); } }
summary { cursor: pointer; font-size: .9rem; }
footer { margin-top: 2.5rem; padding-top: 1rem; border-top: 2px solid var(--rule); }
</style>
</head>
<body>
)";

void append_seconds(std::string& out, int64_t micros) {
    append_time(out, micros);
    out += " s";
}

// "2 s", or "1500 ms" when not whole seconds.
void append_duration(std::string& out, unsigned ms) {
    append_number(out, ms % 1000 == 0 ? ms / 1000 : ms);
    out += ms % 1000 == 0 ? " s" : " ms";
}

// Events per second within a burst, rounded; very large rates in powers of ten.
void append_rate(std::string& out, uint64_t count, int64_t length) {
    if (length <= 0) {
        out += "-";
        return;
    }
    double per_second = static_cast<double>(count - 1) * 1e6 / static_cast<double>(length);
    if (per_second < 1e15) {
        append_number(out, static_cast<int64_t>(std::llround(per_second)));
        return;
    }
    char buf[32];
    out.append(
        buf,
        std::to_chars(buf, buf + sizeof buf, per_second, std::chars_format::scientific, 0).ptr);
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

// Cells, numbers right-aligned.
void cell_time(std::string& out, int64_t micros) {
    out += "<td class=\"num\">";
    append_time(out, micros);
    out += "</td>";
}
void cell_number(std::string& out, auto value) {
    out += "<td class=\"num\">";
    append_number(out, value);
    out += "</td>";
}
void cell_event(std::string& out, const Session& s, uint32_t event, const EventNames& names) {
    cell_number(out, s.events.id(event));
    out += "<td class=\"name\">";
    append_html(out, names.shown(s.events.id(event), s.events.name(event)));
    out += "</td>";
}

class ReportWriter {
  public:
    ReportWriter(Output& output, const EventNames& names, const AnalysisOptions& options)
        : output_(output), names_(names), options_(options) {}

    // What the session pass hands over (see session_pass.h).
    void event(int64_t micros) {
        timeline_.add_event(micros);
    }
    void record(const Record& r) {
        if (r.kind == Kind::logging_stopped)
            timeline_.add_stop(r.micros);
        else if (r.kind == Kind::logging_started)
            timeline_.add_start(r.micros);
        else
            timeline_.add_other(r.micros);
    }
    bool ended(const Session& s) {
        put_session(s);
        timeline_ = Timeline();
        return output_.flush();
    }

  private:
    void put_session(const Session& s);
    void put_facts(const Session& s);
    void put_runs(const Session& s);

    Output& output_;
    const EventNames& names_;
    const AnalysisOptions& options_;
    Timeline timeline_;
    std::string out_;
};

void ReportWriter::put_facts(const Session& s) {
    std::string& out = out_;
    out += "<dl>\n<dt>Aircraft</dt><dd>";
    if (s.have_aircraft) {
        append_html(out, s.title);
        out += " (type ";
        append_html(out, s.type);
        out += ", model ";
        append_html(out, s.model);
        out += ")";
    } else {
        out += "not recorded";
    }
    out += "</dd>\n<dt>Module</dt><dd>";
    if (s.path.empty())
        out += "not recorded";
    else
        append_html(out, s.path);
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

void ReportWriter::put_runs(const Session& s) {
    std::string& out = out_;
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
                       out += "<td class=\"num\">";
                       append_rate(out, b.count, b.last - b.start);
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

void ReportWriter::put_session(const Session& s) {
    std::string& out = out_;
    out.clear();
    out += "<section id=\"session-";
    append_number(out, s.number);
    out += "\">\n<h2>Session ";
    append_number(out, s.number);
    out += " <span class=\"muted\">(lines ";
    append_number(out, s.first_line);
    out += "\u2013";
    append_number(out, s.last_line);
    out += ", ";
    out += began_text(s.began);
    out += ")</span></h2>\n";
    put_facts(s);

    out += "<h3>Events over time</h3>\n";
    put_timeline(out, s, timeline_, names_);
    output_.put(out);
    out.clear();

    if (s.key_events + s.user_events == 0) {
        out += "<p class=\"muted\">No events were written in this session.</p>\n";
    } else {
        out += "<h3>Busiest events <span class=\"muted\">(";
        append_number(out, std::min(report_busiest, s.events.size()));
        out += " of ";
        append_number(out, s.events.size());
        out += ")</span></h3>\n";
        put_busiest(out, s, names_, report_busiest);
        put_runs(s);
    }
    out += "</section>\n";
    output_.put(out);
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
    out = "<footer class=\"muted\">";
    append_plural(out, sessions, "session", "sessions");
    out += ", ";
    append_plural(out, reader.lines(), "line", "lines");
    out += " in all.</footer>\n</body>\n</html>\n";
    output.put(out);
    return output.close(0);
}

} // namespace kwlog
