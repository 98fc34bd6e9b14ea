// keywatch-log summary: one section per session, from one pass over the file
// (the working out is in session.h; this file reads and prints).
#include "commands.h"
#include "files.h"
#include "reader.h"
#include "session.h"
#include "session_pass.h"
#include "writing.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

namespace kwlog {
namespace {

void appendf(std::string& out, const char* format, auto... args) {
    char buf[512];
    int n = std::snprintf(buf, sizeof buf, format, args...);
    out.append(buf, static_cast<size_t>(std::clamp<int>(n, 0, sizeof buf - 1)));
}

std::string seconds(int64_t micros) {
    return time_text(micros) + " s";
}

// "2 s", or "1500 ms" when not whole seconds.
std::string duration_text(unsigned ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// Rows are written without printf: --top can ask for a hundred thousand.
// Each column is its text right-aligned in `width`, then two blanks.
void put_column(std::string& out, std::string_view text, size_t width) {
    if (text.size() < width)
        out.append(width - text.size(), ' ');
    out += text;
    out += "  ";
}

void put_number(std::string& out, int64_t value, size_t width) {
    char buf[24];
    put_column(out, std::string_view(buf, std::to_chars(buf, buf + sizeof buf, value).ptr - buf),
               width);
}

void put_seconds(std::string& out, int64_t micros, size_t width) {
    char buf[max_time_chars + 2];
    int n = format_time(buf, micros);
    std::memcpy(buf + n, " s", 2);
    put_column(out, std::string_view(buf, static_cast<size_t>(n) + 2), width);
}

// The event's number and the name it is shown by.
void put_event(std::string& out, const EventCounts& events, uint32_t event,
               const EventNames& names) {
    put_number(out, events.id(event), 6);
    out += names.shown(events.id(event), events.name(event));
}

// The columns every run's row begins with: its start, a count, its length.
void put_run(std::string& out, int64_t start, uint64_t count, size_t count_width, int64_t length,
             size_t length_width) {
    out += "    ";
    put_seconds(out, start, 14);
    put_number(out, static_cast<int64_t>(count), count_width);
    put_seconds(out, length, length_width);
}

void put_burst(std::string& out, const Session& s, const Burst& b, const EventNames& names) {
    int64_t length = b.last - b.start;
    put_run(out, b.start, b.count, 8, length, 12);
    std::string rate;
    append_rate(rate, b.count, length);
    put_column(out, rate, 10);
    put_event(out, s.events, b.event, names);
    out += ", ";
    char buf[16];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, b.data).ptr);
    out += '\n';
}

void put_repeat(std::string& out, const Session& s, const Repeat& r, const EventNames& names) {
    put_run(out, r.start, r.count, 8, r.last - r.start, 14);
    put_seconds(out, r.median_gap, 10);
    if (r.more_values)
        put_column(out, ">" + std::to_string(r.values), 6);
    else
        put_number(out, r.values, 6);
    put_event(out, s.events, r.event, names);
    out += '\n';
}

void put_tug(std::string& out, const Session& s, const Tug& t, const EventNames& names) {
    put_run(out, t.start, t.reversals, 9, t.last - t.start, 14);
    put_event(out, s.events, t.event, names);
    out += ": ";
    append_values(out, t);
    out += '\n';
}

// A table's heading, then its rows, or "none". Each row is written out as
// it is made: --top can ask for a hundred thousand.
template <class Row, class Put>
void put_rows(std::string& out, Output& output, const std::string& heading, const char* columns,
              const std::vector<Row>& rows, Put put) {
    out += heading;
    put_table(out, rows, ": none\n", std::string(": ") + columns, "", [&](const Row& row) {
        put(row);
        output.put(out);
        out.clear();
    });
}

void print_session(const Session& s, const AnalysisOptions& o, const EventNames& names,
                   Output& output) {
    using ull = unsigned long long;
    std::string out;
    appendf(out, "Session %llu (lines %llu-%llu, %s)", ull(s.number), ull(s.first_line),
            ull(s.last_line), began_text(s.began));
    if (only_started(s)) {
        out += ": keywatch started at " + seconds(s.lowest_time) +
               ", before any aircraft was loaded; no events";
        if (!s.path.empty())
            out += "; module " + s.path;
        out += s.closed ? "; the log file was closed\n\n" : "\n\n";
        output.put(out);
        return;
    }
    out += '\n';
    if (s.have_aircraft && s.title.empty() && s.type.empty() && s.model.empty())
        out += "  Aircraft:   none yet (empty texts: no flight was loaded)\n";
    else if (s.have_aircraft)
        out += "  Aircraft:   " + s.title + " (type " + s.type + ", model " + s.model + ")\n";
    else
        out += "  Aircraft:   not recorded\n";
    out += "  Module:     " + (s.path.empty() ? std::string("not recorded") : s.path);
    if (s.path_from != 0)
        appendf(out, " (loaded in session %llu)", ull(s.path_from));
    out += '\n';
    out += "  Time:       " + seconds(s.lowest_time) + " to " + seconds(s.highest_time) + " (" +
           seconds(s.highest_time - s.lowest_time) + ")\n";
    if (s.went_back > 0)
        appendf(out, "  Warning:    the time went back %llu %s (first at line %llu)\n",
                ull(s.went_back), plural(s.went_back, "time", "times"), ull(s.first_back_line));
    uint64_t events = s.key_events + s.user_events;
    appendf(out, "  Events:     %llu written: %llu key, %llu user-defined\n", ull(events),
            ull(s.key_events), ull(s.user_events));
    appendf(out, "  Logging:    %llu %s, %llu %s; %s\n", ull(s.stops),
            plural(s.stops, "stop", "stops"), ull(s.starts), plural(s.starts, "start", "starts"),
            s.closed ? "the log file was closed" : "the log file was not closed");
    if (s.bad_lines > 0)
        appendf(out, "  Skipped:    %llu %s\n", ull(s.bad_lines),
                plural(s.bad_lines, "line that was not a keywatch record",
                       "lines that were not keywatch records"));
    if (events == 0) {
        output.put(out);
        output.put("\n");
        return;
    }
    appendf(out, "  Peak rate:  %llu events/s (the second up to %s)\n", ull(s.peak),
            seconds((s.peak_end_ms + 1) * 1000).c_str());

    std::vector<uint32_t> busiest = s.events.busiest(o.top);
    uint64_t others = s.events.others_count();
    appendf(out, "  Busiest events (%zu of %s%zu):\n", busiest.size(),
            others > 0 ? "more than " : "", s.events.size());
    appendf(out, "    %8s  %6s  %6s  %s\n", "count", "share", "id", "event");
    for (uint32_t event : busiest) {
        uint64_t count = s.events.count(event);
        std::string share;
        append_share(share, count, events);
        appendf(out, "    %8llu  %6s  ", ull(count), share.c_str());
        put_event(out, s.events, event, names);
        out += '\n';
        output.put(out);
        out.clear();
    }
    if (others > 0) {
        std::string share;
        append_share(share, others, events);
        appendf(out, "    %8llu  %6s  %6s  %s\n", ull(others), share.c_str(), "-",
                others_text().c_str());
    }

    char heading[160];
    std::snprintf(heading, sizeof heading,
                  "  Bursts (%u or more of one event and data, gaps up to %u ms)", o.burst_min,
                  o.burst_gap_ms);
    put_rows(out, output, heading,
             "longest first\n             start    events        length  per second      id  "
             "event, data\n",
             s.bursts, [&](const Burst& b) { put_burst(out, s, b, names); });
    std::snprintf(heading, sizeof heading,
                  "  Steady repeats (%u or more sends of one event, gaps up to %u ms, for %s or "
                  "longer)",
                  o.repeat_min, o.repeat_gap_ms, duration_text(o.repeat_span_ms).c_str());
    put_rows(out, output, heading,
             "most sends first\n             start     sends          length  median gap  "
             "values      id  event\n",
             s.repeats, [&](const Repeat& r) { put_repeat(out, s, r, names); });
    std::snprintf(heading, sizeof heading,
                  "  Tug-of-war (data going back to a value it just had, %u times or more)",
                  o.tug_min);
    put_rows(out, output, heading,
             "most reversals first\n             start  reversals          length      id  "
             "event: values\n",
             s.tugs, [&](const Tug& t) { put_tug(out, s, t, names); });
    out += "\n";
    output.put(out);
}

} // namespace

int run_summary(const std::string& file, const Options& options) {
    EventNames names;
    Input input;
    Output output;
    if (!open_log(options.names, names, input, file) || !output.open_stdout(input, true))
        return 2;
    // Each session is printed as the next one begins, so that a long log
    // shows its first sessions while the rest is read.
    struct Printer {
        const Options& options;
        const EventNames& names;
        Output& output;
        void event(const EventKey&, int64_t) {}
        void record(const Record&) {}
        bool ended(Session& session) {
            print_session(session, options.analysis, names, output);
            return output.flush();
        }
    } printer{options, names, output};
    LogReader reader(input.file(), input.name(), options.strict);
    SessionPass pass(options.analysis, printer);
    reader.read(pass);
    if (output.failed())
        return output.close(0);
    if (int status = end_of_input(reader, output))
        return status;
    uint64_t sessions = 0;
    if (Session* last = pass.last_session(reader.bad_lines())) {
        print_session(*last, options.analysis, names, output);
        sessions = last->number;
    }
    char total[128];
    std::snprintf(
        total, sizeof total, "%llu %s, %llu %s in all\n", static_cast<unsigned long long>(sessions),
        plural(sessions, "session", "sessions"), static_cast<unsigned long long>(reader.lines()),
        plural(reader.lines(), "line", "lines"));
    output.put(total);
    return output.close(0);
}

} // namespace kwlog
