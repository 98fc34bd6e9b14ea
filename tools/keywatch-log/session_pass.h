// One pass over a log, session by session, for the commands that show whole
// sessions: every record goes to a SessionAnalyzer, and a watcher of the
// caller's sees each event's time and each other record as they pass, and
// each session as it ends.
//
// A watcher has
//   void event(int64_t micros);      // an event, at its time
//   void record(const Record& r);    // a load or control line
//   bool ended(Session& session);    // a session is done; false: stop reading
//
// The last session is not handed to ended() by run(): a log that turns out
// bad at its end (a --strict stop, a read error) must leave nothing of it
// shown, so the caller ends the reading first and then asks for it.
#pragma once

#include "reader.h"
#include "session.h"

#include <optional>
#include <span>

namespace kwlog {

class SessionPass {
  public:
    SessionPass(LogReader& reader, const AnalysisOptions& options)
        : reader_(reader), options_(options) {}

    template <class Watcher> void run(Watcher& watcher) {
        uint64_t block = UINT64_MAX;
        Record record;
        for (;;) {
            // Most records come many at a time.
            if (std::span<const Item> events = reader_.next_events(); !events.empty()) {
                if (reader_.block() != block) {
                    block = reader_.block();
                    analyzer_->new_block(events.front().micros);
                }
                EventKey* by_key = keys_.all(reader_);
                for (const Item& item : events) {
                    EventKey& key = by_key[item.key];
                    if (key.event == EventKey::none) {
                        reader_.key_record(item.key, record);
                        key = analyzer_->event_key(record);
                    }
                    analyzer_->add(key, item.micros);
                    watcher.event(item.micros);
                }
                analyzer_->span(events.front().micros, events.back().micros, reader_.line_number());
                continue;
            }
            if (!reader_.next(record))
                return;
            if (reader_.began_session()) {
                if (analyzer_) {
                    uint64_t bad = reader_.bad_lines();
                    analyzer_->finish(bad - bad_before_);
                    bad_before_ = bad; // lines before the first session are counted in it
                    if (!watcher.ended(analyzer_->session()))
                        return;
                }
                Session::Began began =
                    record.kind == Kind::gauge_refreshed ? Session::Began::reset
                    : record.kind == Kind::aircraft_loaded || record.kind == Kind::gauge_loaded
                        ? Session::Began::load
                        : Session::Began::first_lines;
                analyzer_.emplace(options_, reader_.session(), reader_.line_number(), began);
            }
            analyzer_->add(record, reader_.line_number(), reader_.time_went_back());
            if (is_event(record.kind))
                watcher.event(record.micros);
            else
                watcher.record(record);
        }
    }

    // The last session, worked out, once the reading has ended well; none
    // when the log held no record.
    Session* last_session() {
        if (!analyzer_)
            return nullptr;
        analyzer_->finish(reader_.bad_lines() - bad_before_);
        return &analyzer_->session();
    }

  private:
    LogReader& reader_;
    const AnalysisOptions& options_;
    std::optional<SessionAnalyzer> analyzer_;
    uint64_t bad_before_ = 0; // lines that were no record, read before this session began
    KeyCache<EventKey> keys_{EventKey{}};
};

} // namespace kwlog
