// keywatch-log summary: one section per session, from one pass over the file,
// with state bounded by the number of distinct events (and, for bursts, by the
// runs still open within the gap and the longest few closed ones).
#include "commands.h"
#include "events.h"
#include "files.h"
#include "reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace kwlog {
namespace {

// The most events within any one second, to the millisecond. The window of
// the last 1000 milliseconds is kept as one (millisecond, count) pair per
// millisecond that had events, so a long quiet gap costs nothing.
class PeakRate {
  public:
    void add(int64_t micros) {
        int64_t ms = micros / 1000;
        if (size_ == 0 || ms > current_)
            current_ = ms; // a time that goes back counts in the current millisecond
        while (size_ > 0 && slots_[first_].ms <= current_ - window) {
            in_window_ -= slots_[first_].count;
            first_ = (first_ + 1) & mask;
            --size_;
        }
        Slot& last = slots_[(first_ + size_ - 1) & mask];
        if (size_ > 0 && last.ms == current_) {
            ++last.count;
        } else {
            slots_[(first_ + size_) & mask] = Slot{current_, 1};
            ++size_;
        }
        if (++in_window_ > peak_) {
            peak_ = in_window_;
            peak_end_ms_ = current_;
        }
    }
    uint64_t peak() const {
        return peak_;
    }
    int64_t peak_end_ms() const {
        return peak_end_ms_;
    }

  private:
    static constexpr int64_t window = 1000;
    static constexpr size_t mask = 1023; // a ring of 1024 holds the 1000 milliseconds
    struct Slot {
        int64_t ms;
        uint64_t count;
    };
    std::array<Slot, mask + 1> slots_{};
    size_t first_ = 0, size_ = 0;
    int64_t current_ = 0, peak_end_ms_ = 0;
    uint64_t in_window_ = 0, peak_ = 0;
};

struct Burst {
    uint32_t event; // index in the session's EventCounts
    int32_t data;
    uint64_t count;
    int64_t start, last;
};

// Runs of one event and data whose gaps stay within the threshold. Other
// events may come in between: a run is broken only by its own gap. Runs that
// can no longer grow are closed now and then, so only recent ones stay open;
// of the closed ones only the longest few are kept, in a heap whose top is
// the shortest of them. The open runs are a table of their own (open
// addressing by event and data), as one is looked up for every event.
class BurstFinder {
  public:
    BurstFinder(int64_t gap_micros, uint64_t min_count, size_t keep)
        : gap_(gap_micros), min_count_(min_count), keep_(keep), slots_(64) {}

    void add(uint32_t event, int32_t data, int64_t micros) {
        Slot& slot = find(event, data);
        if (!slot.used) {
            slot = Slot{true, Burst{event, data, 1, micros, micros}};
            if (++open_ >= sweep_at_)
                sweep(micros);
            else if (open_ * 2 > slots_.size())
                rebuild(slots_.size() * 2);
            return;
        }
        Burst& run = slot.run;
        if (micros - run.last <= gap_ && micros >= run.last) {
            ++run.count;
            run.last = micros;
        } else {
            close(run);
            run = Burst{event, data, 1, micros, micros};
        }
    }

    // Closes every run and returns the longest, longest first.
    std::vector<Burst> finish() {
        for (Slot& slot : slots_)
            if (slot.used)
                close(slot.run);
        std::sort_heap(best_.begin(), best_.end(), longer);
        return std::move(best_);
    }

  private:
    struct Slot {
        bool used = false;
        Burst run{};
    };

    Slot& find(uint32_t event, int32_t data) {
        uint64_t key = uint64_t{event} << 32 | static_cast<uint32_t>(data);
        size_t mask = slots_.size() - 1;
        size_t at = (key * 0x9E3779B97F4A7C15) >> 32 & mask;
        while (slots_[at].used && (slots_[at].run.event != event || slots_[at].run.data != data))
            at = (at + 1) & mask;
        return slots_[at];
    }

    static bool longer(const Burst& a, const Burst& b) {
        if (a.count != b.count)
            return a.count > b.count;
        return a.start < b.start;
    }

    void close(const Burst& run) {
        if (run.count < min_count_)
            return;
        if (best_.size() < keep_) {
            best_.push_back(run);
            std::push_heap(best_.begin(), best_.end(), longer);
        } else if (longer(run, best_.front())) {
            std::pop_heap(best_.begin(), best_.end(), longer);
            best_.back() = run;
            std::push_heap(best_.begin(), best_.end(), longer);
        }
    }

    // Closes the runs that can no longer grow.
    void sweep(int64_t now) {
        for (Slot& slot : slots_) {
            if (slot.used && now - slot.run.last > gap_) {
                close(slot.run);
                slot.used = false;
                --open_;
            }
        }
        sweep_at_ = std::max<size_t>(1024, open_ * 2);
        rebuild(std::max<size_t>(64, std::bit_ceil(open_ * 4)));
    }

    void rebuild(size_t size) {
        std::vector<Slot> old(size);
        old.swap(slots_);
        for (const Slot& slot : old)
            if (slot.used)
                find(slot.run.event, slot.run.data) = slot;
    }

    int64_t gap_;
    uint64_t min_count_;
    size_t keep_;
    size_t open_ = 0, sweep_at_ = 1024;
    std::vector<Slot> slots_; // a power of two, at most half used
    std::vector<Burst> best_;
};

struct Session {
    Session(uint64_t number, uint64_t first_line, const char* began, uint64_t bad_before,
            const SummaryOptions& o)
        : number(number), first_line(first_line), bad_before(bad_before), began(began),
          bursts(static_cast<int64_t>(o.burst_gap_ms) * 1000, o.burst_min, o.top) {}

    uint64_t number, first_line, last_line = 0;
    uint64_t bad_before; // lines that were no record, read before this session began
    const char* began;
    bool have_aircraft = false, closed = false;
    std::string title, type, model, path;
    int64_t lowest_time = INT64_MAX, highest_time = 0;
    uint64_t key_events = 0, user_events = 0, stops = 0, starts = 0;
    uint64_t went_back = 0, first_back_line = 0;
    EventCounts events;
    PeakRate peak;
    BurstFinder bursts;

    void add(const Record& r, uint64_t line, bool went_back_here) {
        if (went_back_here && went_back++ == 0)
            first_back_line = line;
        last_line = line;
        lowest_time = std::min(lowest_time, r.micros);
        highest_time = std::max(highest_time, r.micros);
        switch (r.kind) {
        case Kind::key:
        case Kind::user:
            (r.kind == Kind::key ? key_events : user_events)++;
            bursts.add(events.add(r.id, r.name), r.data, r.micros);
            peak.add(r.micros);
            break;
        case Kind::aircraft_loaded:
        case Kind::aircraft_title:
            have_aircraft = true;
            title = r.title;
            type = r.type;
            model = r.model;
            break;
        case Kind::gauge_loaded:
        case Kind::gauge_refreshed:
            path = r.path;
            break;
        case Kind::logging_stopped:
            ++stops;
            break;
        case Kind::logging_started:
            ++starts;
            break;
        case Kind::log_closed:
            closed = true;
            break;
        }
    }
};

void appendf(std::string& out, const char* format, auto... args) {
    char buf[512];
    int n = std::snprintf(buf, sizeof buf, format, args...);
    out.append(buf, static_cast<size_t>(std::clamp<int>(n, 0, sizeof buf - 1)));
}

std::string seconds(int64_t micros) {
    return time_text(micros) + " s";
}

const char* plural(uint64_t n, const char* one, const char* many) {
    return n == 1 ? one : many;
}

// Text right-aligned in `width` columns, then two blanks.
void append_column(std::string& out, std::string_view text, size_t width) {
    if (text.size() < width)
        out.append(width - text.size(), ' ');
    out += text;
    out += "  ";
}

std::string_view seconds_text(char* buf, int64_t micros) {
    int n = format_time(buf, micros);
    std::memcpy(buf + n, " s", 2);
    return std::string_view(buf, static_cast<size_t>(n) + 2);
}

// Writes the event's number and name (names may be long: not through appendf).
void append_event(std::string& out, const EventCounts& events, uint32_t event) {
    char buf[16];
    append_column(
        out,
        std::string_view(buf, std::to_chars(buf, buf + sizeof buf, events.id(event)).ptr - buf), 6);
    out += events.name(event);
}

// One row of the bursts table, without printf: --top can ask for a hundred
// thousand of them.
void put_burst(std::string& out, const EventCounts& events, const Burst& b) {
    char buf[max_time_chars + 8];
    int64_t length = b.last - b.start;
    out += "    ";
    append_column(out, seconds_text(buf, b.start), 14);
    append_column(
        out, std::string_view(buf, std::to_chars(buf, buf + sizeof buf, b.count).ptr - buf), 8);
    append_column(out, seconds_text(buf, length), 12);
    std::string_view rate = "-";
    double per_second = static_cast<double>(b.count - 1) * 1e6 / static_cast<double>(length);
    if (length > 0 && per_second < 1e18) // rounded as printf's %.0f: to nearest, ties to even
        rate = std::string_view(
            buf, std::to_chars(buf, buf + sizeof buf, std::llrint(per_second)).ptr - buf);
    else if (length > 0)
        rate = std::string_view(
            buf, static_cast<size_t>(std::snprintf(buf, sizeof buf, "%.0e", per_second)));
    append_column(out, rate, 10);
    append_event(out, events, b.event);
    out += ", ";
    out.append(buf, std::to_chars(buf, buf + sizeof buf, b.data).ptr);
    out += '\n';
}

void print_session(Session& s, uint64_t bad_lines, const SummaryOptions& o, Output& output) {
    using ull = unsigned long long;
    std::string out;
    appendf(out, "Session %llu (lines %llu-%llu, %s)\n", ull(s.number), ull(s.first_line),
            ull(s.last_line), s.began);
    if (s.have_aircraft)
        out += "  Aircraft:   " + s.title + " (type " + s.type + ", model " + s.model + ")\n";
    else
        out += "  Aircraft:   not recorded\n";
    out += "  Module:     " + (s.path.empty() ? std::string("not recorded") : s.path) + "\n";
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
    if (bad_lines > 0)
        appendf(out, "  Skipped:    %llu %s\n", ull(bad_lines),
                plural(bad_lines, "line that was not a keywatch record",
                       "lines that were not keywatch records"));
    if (events == 0) {
        output.put(out);
        output.put("\n");
        return;
    }
    int64_t end_ms = s.peak.peak_end_ms();
    appendf(out, "  Peak rate:  %llu events/s (the second up to %s)\n", ull(s.peak.peak()),
            seconds((end_ms + 1) * 1000).c_str());

    std::vector<uint32_t> busiest = s.events.busiest(o.top);
    appendf(out, "  Busiest events (%zu of %zu):\n", busiest.size(), s.events.size());
    appendf(out, "    %8s  %6s  %6s  %s\n", "count", "share", "id", "event");
    for (uint32_t event : busiest) {
        uint64_t count = s.events.count(event);
        appendf(out, "    %8llu  %5.1f%%  ", ull(count),
                100.0 * static_cast<double>(count) / static_cast<double>(events));
        append_event(out, s.events, event);
        out += '\n';
        output.put(out);
        out.clear();
    }

    std::vector<Burst> bursts = s.bursts.finish();
    appendf(out, "  Bursts (%u or more of one event and data, gaps up to %u ms): ", o.burst_min,
            o.burst_gap_ms);
    if (bursts.empty()) {
        out += "none\n";
    } else {
        out += "longest first\n";
        appendf(out, "    %14s  %8s  %12s  %10s  %6s  %s\n", "start", "events", "length",
                "per second", "id", "event, data");
        for (const Burst& b : bursts) {
            put_burst(out, s.events, b);
            output.put(out);
            out.clear();
        }
    }
    out += "\n";
    output.put(out);
}

} // namespace

int run_summary(const std::string& file, const SummaryOptions& options) {
    Input input;
    Output output;
    if (!input.open(file) || !output.open_stdout(input, true))
        return 2;
    LogReader reader(input.file(), input.name(), options.strict);
    std::optional<Session> session;
    Record record;
    while (reader.next(record)) {
        if (reader.began_session()) {
            uint64_t bad = reader.bad_lines();
            if (session) {
                print_session(*session, bad - session->bad_before, options, output);
                if (!output.flush())
                    break;
            }
            const char* began =
                record.kind == Kind::gauge_refreshed ? "begins with a Reset"
                : record.kind == Kind::aircraft_loaded || record.kind == Kind::gauge_loaded
                    ? "begins with a load"
                    : "no load or Reset before it";
            // Lines before the first session are counted in it.
            session.emplace(reader.session(), reader.line_number(), began, session ? bad : 0,
                            options);
        }
        session->add(record, reader.line_number(), reader.time_went_back());
    }
    if (output.failed())
        return output.close(0);
    if (int status = end_of_input(reader, output))
        return status;
    if (session)
        print_session(*session, reader.bad_lines() - session->bad_before, options, output);
    uint64_t sessions = session ? session->number : 0;
    char total[128];
    std::snprintf(
        total, sizeof total, "%llu %s, %llu %s in all\n", static_cast<unsigned long long>(sessions),
        plural(sessions, "session", "sessions"), static_cast<unsigned long long>(reader.lines()),
        plural(reader.lines(), "line", "lines"));
    output.put(total);
    return output.close(0);
}

} // namespace kwlog
