// One pass over a log, session by session, for the commands that show whole
// sessions: a sink of the log reader (see reader.h) that gives every record
// to a SessionAnalyzer, while a watcher of the caller's sees each event's
// time and each other record as they pass, and each session as it ends.
//
// A watcher has
//   void event(const EventKey& key, int64_t micros); // an event, at its time
//   void record(const Record& r);    // a load or control line
//   bool ended(Session& session);    // a session is done; false: stop reading
//
// The last session is not handed to ended() by the reading: a log that
// turns out bad at its end (a --strict stop, a read error) must leave
// nothing of it shown, so the caller ends the reading first and then asks
// for it.
#pragma once

#include "reader.h"
#include "session.h"

#include <optional>

namespace kwlog {

template <class Watcher> class SessionPass {
  public:
    SessionPass(const AnalysisOptions& options, Watcher& watcher)
        : options_(options), watcher_(watcher) {}

    // What the log reader feeds.
    using Value = EventKey;
    EventKey value_of(const Record& event) {
        return analyzer_->event_key(event);
    }
    template <class Run> bool events(Run& run) {
        if (run.new_stretch())
            analyzer_->new_block(run.first());
        run.each([this](const EventKey& key, int64_t micros, uint64_t) {
            analyzer_->add(key, micros);
            watcher_.event(key, micros);
        });
        analyzer_->span(run.first(), run.last(), run.last_line());
        return true;
    }
    bool record(const Record& record, const Place& place) {
        if (place.began_session) {
            if (analyzer_) {
                analyzer_->finish(place.bad_lines - bad_before_);
                bad_before_ = place.bad_lines; // lines before the first session are counted in it
                if (!watcher_.ended(analyzer_->session()))
                    return false;
            }
            Session::Began began =
                record.kind == Kind::gauge_refreshed ? Session::Began::reset
                : record.kind == Kind::aircraft_loaded || record.kind == Kind::gauge_loaded
                    ? Session::Began::load
                    : Session::Began::first_lines;
            // An aircraft line with no load line after it is the module,
            // still loaded, naming the next aircraft: its path is the one
            // the session before had, unless that one closed the log.
            std::string path;
            uint64_t from = 0;
            if (analyzer_ && !analyzer_->session().closed) {
                Session& before = analyzer_->session();
                path = std::move(before.path);
                from = before.path_from != 0 ? before.path_from : before.number;
            }
            analyzer_.emplace(options_, place.session, place.line, began);
            if (record.kind == Kind::aircraft_loaded && !path.empty())
                analyzer_->carry_path(std::move(path), from);
        }
        if (is_event(record.kind)) {
            EventKey key = analyzer_->add_event(record, place.line, place.went_back);
            watcher_.event(key, record.micros);
        } else {
            analyzer_->add(record, place.line, place.went_back);
            watcher_.record(record);
        }
        return true;
    }

    // The last session, worked out, once the reading has ended well; none
    // when the log held no record. `bad_lines`: the reader's count in all.
    Session* last_session(uint64_t bad_lines) {
        if (!analyzer_)
            return nullptr;
        analyzer_->finish(bad_lines - bad_before_);
        return &analyzer_->session();
    }

  private:
    const AnalysisOptions& options_;
    Watcher& watcher_;
    std::optional<SessionAnalyzer> analyzer_;
    uint64_t bad_before_ = 0; // lines that were no record, read before this session began
};

} // namespace kwlog
