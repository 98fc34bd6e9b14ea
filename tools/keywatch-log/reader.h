// Reading a log, as summary, csv, diff and report do: a record at a time,
// or all of it into a sink of the command's. Lines that are no record, and
// times that go back, are reported by file and line; records come with
// their line and session numbers.
//
// Behind this: a large file is parsed on two threads, a block of lines at
// a time, and handed out in order; the records of a block that read alike
// but for their time share a key, parsed once; and a sink is fed the common
// records, events, many at a time, working out per key what it needs.
#pragma once

#include "block_parser.h"
#include "lines.h"
#include "records.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kwlog {

// Messages about single lines, on standard error: the first few by file and
// line, then how many there were in all.
class LineNotes {
  public:
    LineNotes(const std::string& file, const char* in_all) : file_(file), in_all_(in_all) {}
    // Prints "FILE:LINE: " and the message, for the first few.
    void add(uint64_t line, std::string_view message);
    // The count, when more were met than were shown: "FILE: N <in_all>".
    void finish() const;
    uint64_t count() const {
        return count_;
    }
    static constexpr uint64_t shown = 5;

  private:
    const std::string& file_;
    const char* in_all_;
    uint64_t count_ = 0;
};

// Splits a log into sessions: a session begins at each load block (the
// aircraft-loaded line, or a gauge-loaded line not right after one) and at
// each Reset (the gauge-refreshed line). Records before the first such line
// form a session of their own.
class SessionSplitter {
  public:
    // True when this record begins a new session; number() is then the new one.
    bool begins_session(const Record& record);
    // The same for an event record after the first: it begins none.
    void passed_event() {
        after_aircraft_loaded_ = false;
    }
    uint64_t number() const {
        return number_;
    }

  private:
    uint64_t number_ = 0;
    bool after_aircraft_loaded_ = false;
};

// Where a record stands in its log.
struct Place {
    uint64_t line = 0;          // its line, counted from 1
    uint64_t session = 0;       // its session, counted from 1
    bool began_session = false; // it is the first of its session
    bool went_back = false;     // its time is earlier than the record's before it
    uint64_t bad_lines = 0;     // lines that were no record, up to it
};

// A sink, fed by LogReader::read(), has
//
//   using Value = ...;                     // what it works out once per event key
//   Value value_of(const Record& event);   // works that out (the event's time aside)
//   template <class Run> bool events(Run& run);       // a run of events (below)
//   bool record(const Record& r, const Place& place); // any other record
//
// where events() and record() return false to stop the reading. Events
// come in runs: events of one session, each no earlier than the one before,
// none beginning a session, so that none of a Place's reports applies to
// them. A Run (LogReader::Run) tells
//
//   session()            their session
//   first(), last()      the first and the last event's time
//   last_line()          the last one's line
//   new_stretch()        the first run of a new stretch of the log: values
//                        worked out before it are forgotten
//   each(f)              calls f(Value& value, int64_t micros, uint64_t line)
//                        for each event, in order
//
// Events that read alike but for their time (the same kind, number, name
// and data) share a key, and value_of() is asked once per key of a stretch
// (about a megabyte of the log) and session, so a value may stand for that
// stretch alone. Every other record, and any event that does not fit a run,
// comes to record() one by one.

// The records of one log, in order. Lines that are no record are reported
// (see LineNotes) and skipped, or with `strict` end the reading. Within a
// session the module's clock never runs back, so a time earlier than the
// record before it is reported too, and read on.
class LogReader {
  public:
    // `name` is the file's name for messages; it must outlive the reader.
    LogReader(std::FILE* file, const std::string& name, bool strict);
    ~LogReader();

    // The next record; false at the end, on a read error, or at a strict stop.
    bool next(Record& record);
    // Where the record just handed out stands (the last of a run's events).
    const Place& place() const {
        return place_;
    }

    // Every record from here on, into `sink` (see above); false when the
    // sink stopped the reading.
    template <class Sink> bool read(Sink& sink);
    template <class Sink> class Run;

    uint64_t lines() const { // read so far
        return lines_;
    }
    uint64_t bad_lines() const {
        return bad_.count();
    }
    uint64_t records() const {
        return records_;
    }
    uint64_t sessions() const { // begun so far
        return sessions_.number();
    }
    // Ends the reading: says what is left to say (the counts of bad lines
    // and of times that went back, a read error, input that holds no record
    // at all) and returns the exit status: 0, 1 for input that is not a
    // keywatch log (a bad line under strict, or no record in a file that is
    // not empty), 2 for a read error.
    int finish();

  private:
    struct Work; // the blocks being read and parsed, and the second thread
    struct Slot;
    template <class Value> class KeyCache;
    bool next_block();
    // The events from here on in the block being read that belong to the
    // session under way, each no earlier than the one before; empty when
    // the next record is not such.
    std::span<const Item> next_events();
    // A key's record, but for its time.
    void key_record(uint32_t key, Record& out) const {
        BlockParser::record_of(keys_[key], bytes_, out);
    }

    std::unique_ptr<Work> work_;
    Slot* block_ = nullptr; // the block whose lines are being handed out
    // Its items and keys, and the next item to hand out.
    std::span<const Item> items_;
    std::span<const uint32_t> breaks_;
    size_t break_ = 0; // the first of breaks_ not yet passed
    std::span<const Key> keys_;
    const char* bytes_ = nullptr;
    size_t item_ = 0;
    uint64_t wanted_ = 0; // the sequence number of the next block to hand out
    const std::string& name_;
    bool strict_, stopped_ = false, done_ = false;
    SessionSplitter sessions_;
    LineNotes bad_, backwards_;
    Place place_;
    int64_t previous_time_ = 0;
    uint64_t lines_ = 0, records_ = 0, bytes_read_ = 0;
};

// What a sink works out per key, for the block and session being read: a
// slot per key, unknown again whenever either changes.
template <class Value> class LogReader::KeyCache {
  public:
    struct Slot {
        Value value{};
        bool known = false;
    };
    Slot* all(const LogReader& reader) {
        if (reader.wanted_ != block_ || reader.sessions_.number() != session_) {
            block_ = reader.wanted_;
            session_ = reader.sessions_.number();
            slots_.assign(reader.keys_.size(), Slot{});
        }
        return slots_.data();
    }

  private:
    uint64_t block_ = UINT64_MAX, session_ = 0;
    std::vector<Slot> slots_;
};

template <class Sink> class LogReader::Run {
  public:
    using Value = typename Sink::Value;
    using Slot = typename KeyCache<Value>::Slot;

    Run(LogReader& reader, Sink& sink, Slot* slots, std::span<const Item> events, bool fresh)
        : reader_(reader), sink_(sink), slots_(slots), events_(events), fresh_(fresh) {}

    uint64_t session() const {
        return reader_.sessions_.number();
    }
    int64_t first() const {
        return events_.front().micros;
    }
    int64_t last() const {
        return events_.back().micros;
    }
    uint64_t last_line() const {
        return reader_.place_.line;
    }
    bool new_stretch() const {
        return fresh_;
    }
    template <class F> void each(F f) {
        Record record;
        const uint64_t first_line = reader_.lines_ + 1;
        for (const Item& item : events_) {
            Slot& slot = slots_[item.key];
            if (!slot.known) {
                reader_.key_record(item.key, record);
                slot.value = sink_.value_of(record);
                slot.known = true;
            }
            f(slot.value, item.micros, first_line + item.line);
        }
    }

  private:
    LogReader& reader_;
    Sink& sink_;
    Slot* slots_;
    std::span<const Item> events_;
    bool fresh_;
};

template <class Sink> bool LogReader::read(Sink& sink) {
    KeyCache<typename Sink::Value> cache;
    uint64_t block = UINT64_MAX; // of the last run
    Record record;
    for (;;) {
        if (std::span<const Item> events = next_events(); !events.empty()) {
            Run<Sink> run(*this, sink, cache.all(*this), events, wanted_ != block);
            block = wanted_;
            if (!sink.events(run))
                return false;
        } else if (!next(record)) {
            return true;
        } else if (!sink.record(record, place_)) {
            return false;
        }
    }
}

} // namespace kwlog
