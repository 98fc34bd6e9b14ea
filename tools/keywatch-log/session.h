// What summary works out for one session of a log, as data: its load lines,
// time span, counts by event, peak rate, bursts, steady repeats and
// tugs-of-war. Filled record by record in one pass; printed by summary, and
// kept apart from the printing so that other views of a session can use it.
#pragma once

#include "bursts.h"
#include "events.h"
#include "records.h"
#include "repeats.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace kwlog {

struct AnalysisOptions {
    unsigned top = 10;            // bursts, repeats and tugs-of-war kept (and busiest events shown)
    unsigned burst_gap_ms = 50;   // the largest gap inside a burst
    unsigned burst_min = 3;       // the fewest events that make a burst
    unsigned repeat_gap_ms = 500; // the largest gap inside a steady repeat
    unsigned repeat_min = 10;     // the fewest sends that make one
    unsigned repeat_span_ms = 2000; // the shortest time it lasts
    unsigned tug_min = 3;           // the fewest reversals that make a tug-of-war
};

struct Session {
    enum class Began { load, reset, first_lines };

    uint64_t number = 0, first_line = 0, last_line = 0;
    Began began = Began::first_lines;
    uint64_t bad_lines =
        0; // lines that were no record, within the session (and before it, for the first)
    bool have_aircraft = false, closed = false;
    std::string title, type, model, path;
    // The session whose load line gave `path`, when it is not this one's
    // own: an aircraft change while the module stayed loaded.
    uint64_t path_from = 0;
    int64_t lowest_time = INT64_MAX, highest_time = 0;
    uint64_t key_events = 0, user_events = 0, stops = 0, starts = 0;
    uint64_t went_back = 0, first_back_line = 0;
    EventCounts events;
    uint64_t peak = 0;       // the most events within one second
    int64_t peak_end_ms = 0; // the millisecond that ends that second
    // Filled when the session ends, longest or most first.
    std::vector<Burst> bursts;
    std::vector<Repeat> repeats;
    std::vector<Tug> tugs;
};

// How a session began, in words: "begins with a load", ...
const char* began_text(Session::Began began);

// A session that only says the module started before any aircraft was
// loaded (the simulator's own start, with empty aircraft texts) and holds
// nothing else: shown in one line.
bool only_started(const Session& s);

// An event as the analyzer keeps it: worked out once per key of a stretch
// (see the sink in reader.h) and used for each event of the key.
struct EventKey {
    uint32_t event = 0; // index in the session's EventCounts
    uint32_t burst = 0; // its run's slot in the burst finder
    int32_t data = 0;
    bool user = false;
};

class SessionAnalyzer {
  public:
    SessionAnalyzer(const AnalysisOptions& options, uint64_t number, uint64_t first_line,
                    Session::Began began);

    // A load or control line.
    void add(const Record& r, uint64_t line, bool went_back);
    // One event, worked out afresh; its key.
    EventKey add_event(const Record& r, uint64_t line, bool went_back);
    // The module's path from an earlier session, until a load line of this
    // one gives its own.
    void carry_path(std::string path, uint64_t from) {
        session_.path = std::move(path);
        session_.path_from = from;
    }

    // Events many at a time (a run, see reader.h), in order, none earlier
    // than the one before: before the first run of a stretch, new_block();
    // for each key, event_key() once; then add() for each event, and span()
    // for all of them.
    void new_block(int64_t now) {
        bursts_.tidy(now);
    }
    EventKey event_key(const Record& r);
    void add(const EventKey& key, int64_t micros) {
        (key.user ? session_.user_events : session_.key_events)++;
        session_.events.count(key.event);
        // Events beyond those told apart are counted, and are none of a
        // burst, repeat or tug-of-war: they are many events, not one.
        if (key.event != EventCounts::others) {
            bursts_.add(key.burst, micros);
            repeats_.add(key.event, key.data, micros);
            tugs_.add(key.event, key.data, micros);
        }
        peak_.add(micros);
    }
    void span(int64_t first, int64_t last, uint64_t last_line) {
        session_.lowest_time = std::min(session_.lowest_time, first);
        session_.highest_time = std::max(session_.highest_time, last);
        session_.last_line = last_line;
    }

    // Ends the session: the results are in session() from then on.
    void finish(uint64_t bad_lines);
    Session& session() {
        return session_;
    }

  private:
    void note(int64_t micros, uint64_t line, bool went_back);

    Session session_;
    PeakRate peak_;
    BurstFinder bursts_;
    RepeatFinder repeats_;
    TugFinder tugs_;
};

} // namespace kwlog
