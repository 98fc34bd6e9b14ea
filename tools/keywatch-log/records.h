// Reading Key_Events_Sent.log back: the nine kinds of line the module writes,
// a line reader that streams a file of any size through one fixed buffer, and
// the rule that splits a log into sessions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kwlog {

enum class Kind {
    key,             // Time=...; id=...; event_in=...; evdata=...
    user,            // Time= ... id= ... event_in= User_Defined_Event evdata= ...
    aircraft_loaded, // Time=...; Aircraft Loaded Title=...; Type=...; Model=...
    gauge_loaded,    // Time= ... Gauge Loaded= PATH
    logging_stopped, // Time= ... Logging Stopped
    log_closed,      // Time= ... Log File Closed
    gauge_refreshed, // Time= ... Gauge Refreshed= PATH   (a Reset)
    aircraft_title,  // Time= ... Aircraft Title= ... Type= ... Model= ...
    logging_started, // Time= ... Logging Started
};

// The short name of a kind, as the csv command writes it ("key", "user",
// "aircraft-loaded", ...).
const char* kind_name(Kind kind);

inline bool is_event(Kind kind) {
    return kind == Kind::key || kind == Kind::user;
}

// One parsed line. The views point into the line they were parsed from.
struct Record {
    Kind kind = Kind::key;
    int64_t micros = 0;                  // the time, in microseconds (the log prints six decimals)
    int32_t id = 0;                      // events: the number minus 0x10000
    int32_t data = 0;                    // events
    std::string_view name;               // events
    std::string_view title, type, model; // the two aircraft lines
    std::string_view path;               // gauge loaded, gauge refreshed
};

// Parses one line (without its line end) as one of the nine kinds. Empty
// lines are not records; callers skip them.
bool parse_record(std::string_view line, Record& out);

// Writes a time in microseconds as the log does: seconds with six decimals.
// Returns the number of characters written to buf (at least 24 long).
int format_time(char* buf, int64_t micros);
std::string time_text(int64_t micros);

// Reads a file line by line through one buffer of fixed size. A line ends at
// LF; one CR before it is dropped, so CR LF and LF logs read the same. The last
// line needs no line end (the log never ends with one). A line longer than the
// buffer is returned cut short with `overlong` set, and the rest is skipped.
class LineReader {
  public:
    explicit LineReader(std::FILE* file, size_t buffer_size = 1 << 20);
    // False at the end of the file or on a read error (see failed()).
    bool next(std::string_view& line, bool& overlong);
    uint64_t line_number() const {
        return line_number_;
    }
    bool failed() const {
        return failed_;
    }

  private:
    bool fill();
    std::FILE* file_;
    std::vector<char> buffer_;
    size_t begin_ = 0, end_ = 0;
    uint64_t line_number_ = 0;
    bool eof_ = false, failed_ = false, done_ = false, skipping_ = false;
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

// Reports lines that are none of the nine kinds on standard error: the first
// few by file and line, then how many there were in all.
class BadLines {
  public:
    explicit BadLines(std::string file) : file_(std::move(file)) {}
    void report(uint64_t line_number);
    void finish() const; // prints the count of unreported ones
    uint64_t count() const {
        return count_;
    }
    static constexpr uint64_t shown = 5;

  private:
    std::string file_;
    uint64_t count_ = 0;
};

// Reads every line through `reader`, skipping empty ones. Each record goes
// to `on_record`; each line that is none of the nine kinds is reported to
// `bad` and then goes to `on_bad`, or, with `strict`, ends the read. Returns
// false when `strict` ended it.
bool read_records(LineReader& reader, BadLines& bad, bool strict,
                  const std::function<void(const Record&)>& on_record,
                  const std::function<void()>& on_bad = {});

} // namespace kwlog
