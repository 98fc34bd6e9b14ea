// The nine kinds of line the keywatch module writes to Key_Events_Sent.log,
// and the one parser that tells a record from any other line. Every command
// reads records through it, so what counts as a record is decided here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kwlog {

enum class Kind : uint8_t {
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

// One parsed line. The views point into the line it was parsed from. Only
// the fields of its kind are set; the others keep what they held.
struct Record {
    Kind kind = Kind::key;
    int64_t micros = 0;                  // the time: whole microseconds, never negative
    int32_t id = 0;                      // events: the number minus 0x10000
    int32_t data = 0;                    // events
    std::string_view name;               // events
    std::string_view title, type, model; // the two aircraft lines
    std::string_view path;               // gauge loaded, gauge refreshed
};

// Parses one line (without its line end) as one of the nine kinds; false for
// anything else, empty lines included. A time is digits, a point and exactly
// six digits, as the module prints it; an id or data value is an optional
// minus and at most ten digits, within 32 bits.
bool parse_record(std::string_view line, Record& out);
// The same, without the quick path that parse_record takes for the common
// key-event line; for tests that hold the two to the same answers.
bool parse_record_slowly(std::string_view line, Record& out);

// Parses as parse_record does, remembering the key-event lines met lately by
// what follows their time. Most lines repeat an earlier one but for the time
// (the same key, the same data), and those are then read by comparing
// rather than parsing.
class RecordCache {
  public:
    bool parse(std::string_view line, Record& out);

  private:
    static constexpr int entry_bits = 8;
    struct Entry {
        static constexpr size_t longest = 96; // what follows the time, at most
        uint8_t size = 0, name_begin = 0, name_size = 0;
        int32_t id = 0, data = 0;
        char rest[longest];
    };
    Entry entries_[1 << entry_bits];
};

// A time in microseconds as the log writes it: seconds with six decimals.
// Writes at most max_time_chars characters to buf and returns the count.
constexpr int max_time_chars = 28;
int format_time(char* buf, int64_t micros);
std::string time_text(int64_t micros);

} // namespace kwlog
