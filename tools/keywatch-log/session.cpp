// Working out a session record by record (see session.h).
#include "session.h"

#include <algorithm>

namespace kwlog {

SessionAnalyzer::SessionAnalyzer(const AnalysisOptions& o, uint64_t number, uint64_t first_line,
                                 Session::Began began)
    : bursts_(int64_t{o.burst_gap_ms} * 1000, o.burst_min, o.top),
      repeats_(int64_t{o.repeat_gap_ms} * 1000, o.repeat_min, int64_t{o.repeat_span_ms} * 1000,
               o.top),
      tugs_(o.tug_min, o.top) {
    session_.number = number;
    session_.first_line = first_line;
    session_.began = began;
}

EventKey SessionAnalyzer::event_key(const Record& r) {
    EventKey key;
    key.event = session_.events.index(r.id, r.name);
    key.data = r.data;
    key.user = r.kind == Kind::user;
    if (key.event != EventCounts::others) {
        key.burst = bursts_.slot(key.event, r.data);
        repeats_.make_room(key.event);
        tugs_.make_room(key.event);
    }
    return key;
}

void SessionAnalyzer::note(int64_t micros, uint64_t line, bool went_back) {
    if (went_back && session_.went_back++ == 0)
        session_.first_back_line = line;
    span(micros, micros, line);
}

EventKey SessionAnalyzer::add_event(const Record& r, uint64_t line, bool went_back) {
    // A key's burst slot lasts until the next tidy(): this event's is used
    // at once.
    EventKey key = event_key(r);
    add(key, r.micros);
    note(r.micros, line, went_back);
    return key;
}

void SessionAnalyzer::add(const Record& r, uint64_t line, bool went_back) {
    if (is_event(r.kind)) {
        add_event(r, line, went_back);
        return;
    }
    note(r.micros, line, went_back);
    switch (r.kind) {
    case Kind::aircraft_loaded:
    case Kind::aircraft_title:
        session_.have_aircraft = true;
        session_.title = r.title;
        session_.type = r.type;
        session_.model = r.model;
        break;
    case Kind::gauge_loaded:
    case Kind::gauge_refreshed:
        session_.path = r.path;
        session_.path_from = 0;
        break;
    case Kind::logging_stopped:
        ++session_.stops;
        break;
    case Kind::logging_started:
        ++session_.starts;
        break;
    case Kind::log_closed:
        session_.closed = true;
        break;
    case Kind::key:
    case Kind::user:
        break;
    }
}

void SessionAnalyzer::finish(uint64_t bad_lines) {
    session_.bad_lines = bad_lines;
    session_.peak = peak_.peak();
    session_.peak_end_ms = peak_.peak_end_ms();
    session_.bursts = bursts_.finish();
    session_.repeats = repeats_.finish();
    session_.tugs = tugs_.finish();
}

bool only_started(const Session& s) {
    return s.began == Session::Began::load && s.have_aircraft && s.title.empty() &&
           s.type.empty() && s.model.empty() && s.key_events + s.user_events == 0 &&
           s.stops + s.starts == 0 && s.bad_lines == 0 && s.went_back == 0;
}

const char* began_text(Session::Began began) {
    switch (began) {
    case Session::Began::load:
        return "begins with a load";
    case Session::Began::reset:
        return "begins with a Reset";
    case Session::Began::first_lines:
        break;
    }
    return "no load or Reset before it";
}

} // namespace kwlog
