// Reading a log record by record, as summary and csv do: records with their
// line and session numbers; lines that are no record, and times that go
// back, reported by file and line. A large file is parsed on two threads, a
// block of lines at a time, and handed out in order.
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
    uint64_t line_number() const { // of the record just returned
        return line_number_;
    }
    uint64_t session() const { // its session, counted from 1
        return sessions_.number();
    }
    bool began_session() const { // it is the first of its session
        return began_session_;
    }
    bool time_went_back() const { // its time is earlier than the record's before it
        return went_back_;
    }
    // The common records, many at a time: the events from here on in the
    // block being read that belong to the session under way, each no
    // earlier than the one before, so that none of next()'s reports applies
    // to them. Empty when the next record is not such; next() then hands
    // that one out. What the accessors below tell is then of the last one.
    // Their keys are the block's (see key() and key_record()).
    std::span<const Item> next_events();
    // The record of a key of the block being read, but for its time.
    void key_record(uint32_t key, Record& out) const {
        BlockParser::record_of(keys_[key], bytes_, out);
    }
    // Records of one block of the file that read alike but for their time
    // (the same kind, number, name and data) share a key, numbered from 0
    // within the block, so that what a caller works out from a record can
    // serve them all: it keeps that in a table of keys() entries, made
    // afresh whenever block() changes.
    uint32_t key() const {
        return key_;
    }
    uint64_t block() const {
        return wanted_;
    }
    uint32_t keys() const {
        return static_cast<uint32_t>(keys_.size());
    }
    uint64_t lines() const { // read so far
        return lines_;
    }
    uint64_t bad_lines() const {
        return bad_.count();
    }
    uint64_t records() const {
        return records_;
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
    bool next_block();

    std::unique_ptr<Work> work_;
    Slot* block_ = nullptr; // the block whose lines are being handed out
    // Its items and keys, and the next item to hand out.
    std::span<const Item> items_;
    std::span<const uint32_t> breaks_;
    size_t break_ = 0; // the first of breaks_ not yet passed
    std::span<const Key> keys_;
    const char* bytes_ = nullptr;
    size_t item_ = 0;
    uint32_t key_ = 0;
    uint64_t wanted_ = 0; // the sequence number of the next block to hand out
    const std::string& name_;
    bool strict_, stopped_ = false, done_ = false, began_session_ = false, went_back_ = false;
    SessionSplitter sessions_;
    LineNotes bad_, backwards_;
    int64_t previous_time_ = 0;
    uint64_t line_number_ = 0, lines_ = 0, records_ = 0, bytes_read_ = 0;
};

// What a caller works out per key (see LogReader::key), for the block and
// session being read: a slot per key, set to `fresh` whenever either changes.
template <class Value> class KeyCache {
  public:
    explicit KeyCache(Value fresh) : fresh_(fresh) {}
    // The slot of the record just read.
    Value& at(const LogReader& reader) {
        return all(reader)[reader.key()];
    }
    // The slots of every key of the block being read, by key.
    Value* all(const LogReader& reader) {
        if (reader.block() != block_ || reader.session() != session_)
            refill(reader);
        return values_.data();
    }

  private:
    void refill(const LogReader& reader) {
        block_ = reader.block();
        session_ = reader.session();
        values_.assign(reader.keys(), fresh_);
    }

    Value fresh_;
    uint64_t block_ = UINT64_MAX, session_ = 0;
    std::vector<Value> values_;
};

} // namespace kwlog
