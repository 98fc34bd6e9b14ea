// Reading a log record by record, as summary and csv do: records with their
// line and session numbers; lines that are no record, and times that go
// back, reported by file and line. A large file is parsed on two threads, a
// block of lines at a time, and handed out in order.
#pragma once

#include "lines.h"
#include "records.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace kwlog {

// Messages about single lines, on standard error: the first few by file and
// line, then how many there were in all.
class LineNotes {
  public:
    LineNotes(const std::string& file, const char* in_all) : file_(file), in_all_(in_all) {}
    // Prints "FILE:LINE: " and the message, for the first few.
    void add(uint64_t line, const std::string& message);
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
    size_t item_ = 0;
    uint64_t wanted_ = 0; // the sequence number of the next block to hand out
    const std::string& name_;
    bool strict_, stopped_ = false, done_ = false, began_session_ = false, went_back_ = false;
    SessionSplitter sessions_;
    LineNotes bad_, backwards_;
    int64_t previous_time_ = 0;
    uint64_t line_number_ = 0, lines_ = 0, records_ = 0, bytes_ = 0;
};

} // namespace kwlog
