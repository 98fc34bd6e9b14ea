// keywatch-log summary: one section per session, from one pass over the file
// with state bounded by the number of distinct event names (and, for bursts,
// by the runs still open within the gap).
#include "commands.h"
#include "records.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace kwlog {
namespace {

// Hash and equality that let a string_view find a std::string key, so that
// counting an event allocates only for a name seen for the first time.
struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const {
        return std::hash<std::string_view>{}(s);
    }
};
struct NameEq {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return a == b;
    }
};
using NameCounts = std::unordered_map<std::string, uint64_t, NameHash, NameEq>;

// The most events within any one second, to the millisecond: a ring of
// 1000 one-millisecond buckets slides along with the times.
class PeakRate {
  public:
    void add(int64_t micros) {
        int64_t ms = micros >= 0 ? micros / 1000 : (micros - 999) / 1000;
        if (!started_) {
            started_ = true;
            current_ = ms;
        } else if (ms > current_) {
            if (ms - current_ >= static_cast<int64_t>(buckets_.size())) {
                buckets_.fill(0);
                in_window_ = 0;
            } else {
                for (int64_t m = current_ + 1; m <= ms; ++m) {
                    uint32_t& b = buckets_[slot(m)];
                    in_window_ -= b;
                    b = 0;
                }
            }
            current_ = ms;
        } // a time that goes back (an edited log) counts in the current bucket
        ++buckets_[slot(current_)];
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
    size_t slot(int64_t ms) const {
        int64_t n = static_cast<int64_t>(buckets_.size());
        return static_cast<size_t>(((ms % n) + n) % n);
    }
    std::array<uint32_t, 1000> buckets_{};
    bool started_ = false;
    int64_t current_ = 0, peak_end_ms_ = 0;
    uint64_t in_window_ = 0, peak_ = 0;
};

struct Burst {
    const std::string* name;
    int32_t data;
    uint64_t count;
    int64_t start, last;
};

// Runs of one name and data whose gaps stay within the threshold. Other
// events may come in between: a run is broken only by its own gap. Runs that
// can no longer grow are closed now and then, so only recent ones stay open;
// of the closed ones only the longest few are kept.
class BurstFinder {
  public:
    BurstFinder(int64_t gap_micros, uint64_t min_count, size_t keep)
        : gap_(gap_micros), min_count_(min_count), keep_(keep) {}

    void add(const std::string* name, int32_t data, int64_t micros) {
        Key key{name, data};
        auto [it, inserted] = open_.try_emplace(key, Burst{name, data, 1, micros, micros});
        if (!inserted) {
            Burst& run = it->second;
            if (micros - run.last <= gap_ && micros >= run.last) {
                ++run.count;
                run.last = micros;
            } else {
                close(run);
                run = Burst{name, data, 1, micros, micros};
            }
        }
        if (open_.size() >= sweep_at_)
            sweep(micros);
    }

    // Closes every run and returns the longest, longest first.
    std::vector<Burst> finish() {
        for (auto& [key, run] : open_)
            close(run);
        open_.clear();
        std::sort(best_.begin(), best_.end(), longer);
        return best_;
    }

  private:
    struct Key {
        const std::string* name;
        int32_t data;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const {
            return std::hash<const void*>{}(k.name) * 31 + static_cast<uint32_t>(k.data);
        }
    };

    static bool longer(const Burst& a, const Burst& b) {
        if (a.count != b.count)
            return a.count > b.count;
        return a.start < b.start;
    }

    void close(const Burst& run) {
        if (run.count < min_count_ || keep_ == 0)
            return;
        if (best_.size() < keep_) {
            best_.push_back(run);
            return;
        }
        auto worst = std::min_element(best_.begin(), best_.end(),
                                      [](const Burst& a, const Burst& b) { return longer(b, a); });
        if (longer(run, *worst))
            *worst = run;
    }

    void sweep(int64_t now) {
        for (auto it = open_.begin(); it != open_.end();) {
            if (now - it->second.last > gap_) {
                close(it->second);
                it = open_.erase(it);
            } else {
                ++it;
            }
        }
        sweep_at_ = std::max<size_t>(1024, open_.size() * 2);
    }

    int64_t gap_;
    uint64_t min_count_;
    size_t keep_;
    size_t sweep_at_ = 1024;
    std::unordered_map<Key, Burst, KeyHash> open_;
    std::vector<Burst> best_;
};

struct Session {
    Session(uint64_t number, uint64_t first_line, const char* began, const SummaryOptions& o)
        : number(number), first_line(first_line), began(began),
          bursts(static_cast<int64_t>(o.burst_gap_ms) * 1000, o.burst_min, o.top) {}

    uint64_t number, first_line, last_line = 0;
    const char* began;
    bool have_aircraft = false, have_time = false, closed = false;
    std::string title, type, model, path;
    int64_t first_time = 0, last_time = 0;
    uint64_t key_events = 0, user_events = 0, stops = 0, starts = 0, bad_lines = 0;
    NameCounts counts;
    PeakRate peak;
    BurstFinder bursts;

    void add(const Record& r, uint64_t line) {
        last_line = line;
        if (!have_time) {
            have_time = true;
            first_time = r.micros;
        }
        last_time = r.micros;
        switch (r.kind) {
        case Kind::key:
        case Kind::user: {
            (r.kind == Kind::key ? key_events : user_events)++;
            auto it = counts.find(r.name);
            if (it == counts.end())
                it = counts.emplace(std::string(r.name), 0).first;
            ++it->second;
            peak.add(r.micros);
            bursts.add(&it->first, r.data, r.micros);
            break;
        }
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
    out.append(buf, static_cast<size_t>(std::min<int>(n, sizeof buf - 1)));
}

std::string seconds(int64_t micros) {
    return time_text(micros) + " s";
}

const char* plural(uint64_t n, const char* one, const char* many) {
    return n == 1 ? one : many;
}

void print_session(Session& s, const SummaryOptions& o) {
    using ull = unsigned long long;
    std::string out;
    appendf(out, "Session %llu (lines %llu-%llu, %s)\n", ull(s.number), ull(s.first_line),
            ull(s.last_line), s.began);
    if (s.have_aircraft)
        out += "  Aircraft:   " + s.title + " (type " + s.type + ", model " + s.model + ")\n";
    else
        out += "  Aircraft:   not recorded\n";
    out += "  Module:     " + (s.path.empty() ? std::string("not recorded") : s.path) + "\n";
    out += "  Time:       " + seconds(s.first_time) + " to " + seconds(s.last_time) + " (" +
           seconds(s.last_time - s.first_time) + ")\n";
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
        out += "\n";
        std::fputs(out.c_str(), stdout);
        return;
    }
    int64_t end_ms = s.peak.peak_end_ms();
    appendf(out, "  Peak rate:  %llu events/s (the second up to %s)\n", ull(s.peak.peak()),
            seconds((end_ms + 1) * 1000).c_str());

    std::vector<std::pair<uint64_t, const std::string*>> busiest;
    busiest.reserve(s.counts.size());
    for (const auto& [name, count] : s.counts)
        busiest.emplace_back(count, &name);
    size_t shown = std::min<size_t>(o.top, busiest.size());
    std::partial_sort(busiest.begin(), busiest.begin() + static_cast<ptrdiff_t>(shown),
                      busiest.end(), [](const auto& a, const auto& b) {
                          return a.first != b.first ? a.first > b.first : *a.second < *b.second;
                      });
    if (shown > 0) {
        appendf(out, "  Busiest events (%zu of %zu):\n", shown, busiest.size());
        appendf(out, "    %8s  %6s  %s\n", "count", "share", "event");
        for (size_t i = 0; i < shown; ++i)
            appendf(out, "    %8llu  %5.1f%%  %s\n", ull(busiest[i].first),
                    100.0 * static_cast<double>(busiest[i].first) / static_cast<double>(events),
                    busiest[i].second->c_str());
    }

    std::vector<Burst> bursts = s.bursts.finish();
    appendf(out, "  Bursts (%u or more of one name and data, gaps up to %u ms): ", o.burst_min,
            o.burst_gap_ms);
    if (bursts.empty()) {
        out += "none\n";
    } else {
        out += "longest first\n";
        appendf(out, "    %14s  %8s  %12s  %10s  %s\n", "start", "events", "length", "per second",
                "event, data");
        for (const Burst& b : bursts) {
            int64_t length = b.last - b.start;
            char rate[32] = "-";
            if (length > 0)
                std::snprintf(rate, sizeof rate, "%.0f",
                              static_cast<double>(b.count - 1) * 1e6 / static_cast<double>(length));
            appendf(out, "    %14s  %8llu  %12s  %10s  %s, %d\n", seconds(b.start).c_str(),
                    ull(b.count), seconds(length).c_str(), rate, b.name->c_str(), b.data);
        }
    }
    out += "\n";
    std::fputs(out.c_str(), stdout);
}

} // namespace

int run_summary(const std::string& file, const SummaryOptions& options) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "keywatch-log: cannot open %s: %s\n", file.c_str(),
                     std::strerror(errno));
        return 2;
    }
    LineReader reader(f);
    BadLines bad(file);
    SessionSplitter splitter;
    std::optional<Session> session;
    uint64_t sessions = 0;
    uint64_t bad_before_first = 0;
    const auto on_record = [&](const Record& record) {
        if (splitter.begins_session(record)) {
            if (session)
                print_session(*session, options);
            const char* began =
                record.kind == Kind::gauge_refreshed ? "begins with a Reset"
                : record.kind == Kind::aircraft_loaded || record.kind == Kind::gauge_loaded
                    ? "begins with a load"
                    : "no load or Reset before it";
            session.emplace(splitter.number(), reader.line_number(), began, options);
            session->bad_lines += bad_before_first;
            bad_before_first = 0;
            ++sessions;
        }
        session->add(record, reader.line_number());
    };
    const auto on_bad = [&] { (session ? session->bad_lines : bad_before_first)++; };
    if (!read_records(reader, bad, options.strict, on_record, on_bad)) {
        std::fclose(f);
        return 1;
    }
    bool failed = reader.failed();
    std::fclose(f);
    if (failed) {
        std::fprintf(stderr, "keywatch-log: cannot read %s: %s\n", file.c_str(),
                     std::strerror(errno));
        return 2;
    }
    if (session)
        print_session(*session, options);
    bad.finish();
    std::printf("%llu %s, %llu %s in all\n", static_cast<unsigned long long>(sessions),
                plural(sessions, "session", "sessions"),
                static_cast<unsigned long long>(reader.line_number()),
                plural(reader.line_number(), "line", "lines"));
    return 0;
}

} // namespace kwlog
