// keywatch-log diff: which events differ between two captures, each a whole
// log or one session of it (FILE:N). Events are told apart by number and
// name, and with --data by their data too; the tables list the events only
// in A, those only in B, and those in both with different counts, the
// largest difference first.
#include "commands.h"
#include "csv_cells.h"
#include "files.h"
#include "reader.h"
#include "writing.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <tuple>
#include <vector>

namespace kwlog {
namespace {

struct Capture {
    std::string file;          // as given, without ":N"
    std::string shown;         // as given
    uint64_t session = 0;      // 0: the whole file
    bool session_zero = false; // "FILE:0", which names no session
};

// "FILE:N" is session N of FILE, unless a file of that very name exists.
Capture capture_of(const std::string& text) {
    Capture c{text, text, 0, false};
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() || file_exists(text))
        return c;
    uint64_t n = 0;
    auto [end, error] = std::from_chars(text.data() + colon + 1, text.data() + text.size(), n);
    if (error == std::errc{} && end == text.data() + text.size()) {
        c.file = text.substr(0, colon);
        c.session = n;
        c.session_zero = n == 0;
    }
    return c;
}

// An event's count in one capture. The name is the capture's counter's.
struct Counted {
    int32_t id, data;
    std::string_view name;
    uint64_t count;
    bool others;   // the events beyond those told apart, counted together
    uint64_t told; // for others: how many were told apart
};

// Counts the events of a capture by (number, name) and, with `by_data`,
// data: a sink of the log reader (see reader.h), which works out an event's
// slot once per key and counts it for each event. Only so many events (see
// EventCounts) and, with `by_data`, (event, data) pairs are told apart; the
// rest share one slot, so that memory stays bounded whatever the capture.
class Counter {
  public:
    static constexpr size_t most_values = 50000; // (event, data) pairs told apart

    Counter(bool by_data, uint64_t session) : by_data_(by_data), session_(session) {}

    using Value = uint32_t; // the event's slot in tallies_
    uint32_t value_of(const Record& r) {
        uint32_t event = events_.index(r.id, r.name);
        if (event == EventCounts::others)
            return others();
        int32_t data = by_data_ ? r.data : 0;
        uint32_t& index = index_of(event, data);
        if (index != 0)
            return index - 1;
        if (distinct() >= most_values)
            return others();
        auto slot = static_cast<uint32_t>(tallies_.size());
        index = slot + 1;
        tallies_.push_back(Tally{event, data, 0});
        if (tallies_.size() * 2 > index_.size())
            reindex();
        return slot;
    }
    template <class Run> bool events(Run& run) {
        if (wanted(run.session()))
            run.each([this](uint32_t slot, int64_t, uint64_t) {
                ++tallies_[slot].count;
                ++total_;
            });
        return true;
    }
    bool record(const Record& r, const Place& place) {
        if (is_event(r.kind) && wanted(place.session)) {
            ++tallies_[value_of(r)].count;
            ++total_;
        }
        return true;
    }

    // The counts, once the reading is done; valid while the counter lasts.
    std::vector<Counted> counted() const {
        std::vector<Counted> all;
        all.reserve(tallies_.size());
        for (const Tally& t : tallies_) {
            bool others = t.event == EventCounts::others;
            all.push_back(Counted{others ? 0 : events_.id(t.event), t.data,
                                  others ? std::string_view() : events_.name(t.event), t.count,
                                  others, distinct()});
        }
        return all;
    }
    uint64_t total() const {
        return total_;
    }
    size_t distinct() const {
        return tallies_.size() - (others_ != none);
    }
    // Events were counted together, beyond those told apart.
    bool had_others() const {
        return others_ != none;
    }

  private:
    static constexpr uint32_t none = UINT32_MAX;
    struct Tally {
        uint32_t event; // in events_, or EventCounts::others
        int32_t data;
        uint64_t count;
    };
    bool wanted(uint64_t session) const {
        return session_ == 0 || session == session_;
    }
    // Open addressing by event and data: a slot in tallies_ plus one, or 0.
    // A power of two, at most half used.
    uint32_t& index_of(uint32_t event, int32_t data) {
        uint64_t key = uint64_t{event} << 32 | static_cast<uint32_t>(data);
        size_t mask = index_.size() - 1;
        size_t at = (key * 0x9E3779B97F4A7C15) >> 32 & mask;
        for (; index_[at] != 0; at = (at + 1) & mask) {
            const Tally& t = tallies_[index_[at] - 1];
            if (t.event == event && t.data == data)
                break;
        }
        return index_[at];
    }
    void reindex() {
        index_.assign(index_.size() * 2, 0);
        for (uint32_t slot = 0; slot < tallies_.size(); ++slot)
            if (slot != others_)
                index_of(tallies_[slot].event, tallies_[slot].data) = slot + 1;
    }
    uint32_t others() {
        if (others_ == none) {
            others_ = static_cast<uint32_t>(tallies_.size());
            tallies_.push_back(Tally{EventCounts::others, 0, 0});
        }
        return others_;
    }

    bool by_data_;
    uint64_t session_; // the one counted, or 0 for all
    EventCounts events_;
    std::vector<uint32_t> index_ = std::vector<uint32_t>(64, 0);
    std::vector<Tally> tallies_;
    uint32_t others_ = none; // its slot in tallies_
    uint64_t total_ = 0;
};

// Reads a capture's events. Returns 0, or the exit status of a failure
// (said on standard error).
int count(const Capture& c, const Options& options, Counter& counter) {
    Input input;
    if (!input.open(c.file))
        return 2;
    LogReader reader(input.file(), input.name(), options.strict);
    reader.read(counter);
    uint64_t sessions = reader.sessions();
    int status = reader.finish();
    if (status != 0)
        return 2; // a file that is not a log, or cannot be read, is an error here
    if (c.session > sessions) {
        complain("%s has %llu %s; there is no session %llu", input.name().c_str(),
                 static_cast<unsigned long long>(sessions), plural(sessions, "session", "sessions"),
                 static_cast<unsigned long long>(c.session));
        return 2;
    }
    return 0;
}

struct Row {
    const Counted* event; // from A, or from B when only there
    uint64_t a, b;
    int64_t difference() const {
        return static_cast<int64_t>(b) - static_cast<int64_t>(a);
    }
};

bool by_event(const Counted& x, const Counted& y) {
    if (x.others != y.others)
        return y.others; // last
    if (x.name != y.name)
        return x.name < y.name;
    if (x.id != y.id)
        return x.id < y.id;
    return x.data < y.data;
}

struct Tables {
    std::vector<Row> only_a, only_b, differ;
    size_t same = 0;
};

Tables compare(std::vector<Counted>& a, std::vector<Counted>& b) {
    std::sort(a.begin(), a.end(), by_event);
    std::sort(b.begin(), b.end(), by_event);
    Tables t;
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && by_event(a[i], b[j]))) {
            t.only_a.push_back(Row{&a[i], a[i].count, 0});
            ++i;
        } else if (i == a.size() || by_event(b[j], a[i])) {
            t.only_b.push_back(Row{&b[j], 0, b[j].count});
            ++j;
        } else {
            if (a[i].count != b[j].count)
                t.differ.push_back(Row{&a[i], a[i].count, b[j].count});
            else
                ++t.same;
            ++i;
            ++j;
        }
    }
    // Most first; the difference's size first, more in B before more in A.
    auto most = [](auto size) {
        return [size](const Row& x, const Row& y) {
            if (size(x) != size(y))
                return size(x) > size(y);
            return by_event(*x.event, *y.event);
        };
    };
    std::stable_sort(t.only_a.begin(), t.only_a.end(), most([](const Row& r) { return r.a; }));
    std::stable_sort(t.only_b.begin(), t.only_b.end(), most([](const Row& r) { return r.b; }));
    std::stable_sort(t.differ.begin(), t.differ.end(), most([](const Row& r) {
                         int64_t d = r.difference();
                         return static_cast<uint64_t>(d < 0 ? -d : d);
                     }));
    return t;
}

std::string event_text(const Counted& e, const Options& options, const EventNames& names) {
    if (e.others)
        return others_text(e.told);
    std::string text(names.shown(e.id, e.name));
    if (options.data)
        text += ", " + std::to_string(e.data);
    return text;
}

void put_text(Output& out, const Tables& t, const Capture& a, const Capture& b, const Counter& in_a,
              const Counter& in_b, const Options& options, const EventNames& names) {
    const char* event_column = options.data ? "event, data" : "event";
    char line[256];
    for (auto [side, capture, counter] : {std::tuple{"A", &a, &in_a}, std::tuple{"B", &b, &in_b}}) {
        out.put(std::string(side) + ": " + capture->shown);
        std::snprintf(line, sizeof line, ", %llu %s (%s%zu distinct)\n",
                      static_cast<unsigned long long>(counter->total()),
                      plural(counter->total(), "event", "events"),
                      counter->had_others() ? "more than " : "", counter->distinct());
        out.put(line);
    }
    out.put('\n');
    auto section = [&](const char* title, const std::vector<Row>& rows, bool both) {
        if (rows.empty())
            std::snprintf(line, sizeof line, "%s: none\n", title);
        else
            std::snprintf(line, sizeof line, "%s: %zu %s%s\n", title, rows.size(),
                          plural(rows.size(), "event", "events"),
                          both && rows.size() > 1 ? ", the largest difference first" : "");
        out.put(line);
        if (rows.empty())
            return;
        if (both)
            std::snprintf(line, sizeof line, "  %10s  %10s  %10s  %6s  %s\n", "A", "B", "B - A",
                          "id", event_column);
        else
            std::snprintf(line, sizeof line, "  %10s  %6s  %s\n", "count", "id", event_column);
        out.put(line);
        for (const Row& r : rows) {
            char id[16];
            std::snprintf(id, sizeof id, r.event->others ? "-" : "%d", r.event->id);
            if (both)
                std::snprintf(line, sizeof line, "  %10llu  %10llu  %+10lld  %6s  ",
                              static_cast<unsigned long long>(r.a),
                              static_cast<unsigned long long>(r.b),
                              static_cast<long long>(r.difference()), id);
            else
                std::snprintf(line, sizeof line, "  %10llu  %6s  ",
                              static_cast<unsigned long long>(r.a + r.b), id);
            out.put(line);
            out.put(event_text(*r.event, options, names));
            out.put('\n');
        }
    };
    section("Only in A", t.only_a, false);
    section("Only in B", t.only_b, false);
    section("In both, with different counts", t.differ, true);
    if (t.same == 0)
        std::snprintf(line, sizeof line, "In both, as many times: none\n");
    else
        std::snprintf(line, sizeof line, "In both, as many times: %zu %s\n", t.same,
                      plural(t.same, "event", "events"));
    out.put(line);
}

// A text field: quoted when it holds a comma, quote, CR or LF, and after a
// single quote when a spreadsheet would run it (csv_cells.h).
void put_csv_field(Output& out, std::string_view text) {
    bool formula = runs_as_formula(text);
    if (!formula && text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.put(text);
        return;
    }
    out.put(formula ? "\"'" : "\"");
    for (char c : text) {
        if (c == '"')
            out.put('"');
        out.put(c);
    }
    out.put('"');
}

void put_csv(Output& out, const Tables& t, const Options& options, const EventNames& names) {
    out.put(options.data ? "in,id,name,data,a,b,difference\r\n" : "in,id,name,a,b,difference\r\n");
    auto rows = [&](const char* in, const std::vector<Row>& list) {
        for (const Row& r : list) {
            out.put(in);
            out.put(',');
            if (r.event->others) {
                out.put(',');
                put_csv_field(out, others_text(r.event->told));
                if (options.data)
                    out.put(',');
            } else {
                out.put_int(r.event->id);
                out.put(',');
                put_csv_field(out, names.shown(r.event->id, r.event->name));
                if (options.data) {
                    out.put(',');
                    out.put_int(r.event->data);
                }
            }
            out.put(',');
            out.put_int(static_cast<int64_t>(r.a));
            out.put(',');
            out.put_int(static_cast<int64_t>(r.b));
            out.put(',');
            out.put_int(r.difference());
            out.put("\r\n");
        }
    };
    rows("A", t.only_a);
    rows("B", t.only_b);
    rows("both", t.differ);
}

} // namespace

int run_diff(const std::string& first, const std::string& second, const Options& options) {
    EventNames names;
    if (!read_names(options.names, names))
        return 2;
    Capture a = capture_of(first), b = capture_of(second);
    for (const Capture* c : {&a, &b})
        if (c->session_zero) {
            complain("%s: there is no session 0; sessions count from 1", c->shown.c_str());
            return 2;
        }
    if (a.file == "-" && b.file == "-") {
        complain("diff reads standard input for one capture at most");
        return 2;
    }
    Counter in_a(options.data, a.session), in_b(options.data, b.session);
    if (int status = count(a, options, in_a))
        return status;
    if (int status = count(b, options, in_b))
        return status;
    std::vector<Counted> counted_a = in_a.counted(), counted_b = in_b.counted();
    Tables t = compare(counted_a, counted_b);
    Input none;
    Output out;
    if (!out.open_stdout(none, !options.csv))
        return 2;
    if (options.csv)
        put_csv(out, t, options, names);
    else
        put_text(out, t, a, b, in_a, in_b, options, names);
    bool same = t.only_a.empty() && t.only_b.empty() && t.differ.empty();
    return out.close(same ? 0 : 1);
}

} // namespace kwlog
