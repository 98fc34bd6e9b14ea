// The nine kinds of line the keywatch module writes to Key_Events_Sent.log,
// and the one parser that tells a record from any other line. Every command
// reads records through it, so what counts as a record is decided here.
#pragma once

#include "bytes.h"

#include <charconv>
#include <cstdint>
#include <cstring>
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

// The whole seconds of the time read last, so that the next time with the
// same ones (most lines: they change once a second while lines come by the
// thousand) is not converted again.
struct SecondsSeen {
    uint64_t digits = UINT64_MAX; // as digits_on_top() gives them; no digits are so
    int64_t seconds = 0;
};

// The time at the front of a record, read quickly: " Time=SECONDS;" or
// " Time= SECONDS " with at most seven digits before the point. Returns the
// offset of the ';' or blank after it, where the rest of the record begins,
// or 0 when the line does not begin so (the general parser then decides).
// With a time so read, the rest alone decides the record's kind and fields.
// Inlined always: it runs for nearly every line, and a call costs a fifth of it.
[[gnu::always_inline]] inline size_t parse_time_quickly(std::string_view line, int64_t& micros,
                                                        SecondsSeen& seen) {
    // Eight-byte loads reach 24 bytes in; the shortest record is longer.
    if (std::endian::native != std::endian::little || line.size() < 24)
        return 0;
    const char* p = line.data();
    if (std::memcmp(p, " Time=", 6) != 0)
        return 0;
    bool spaced = p[6] == ' ';
    const char* digits = p + 6 + spaced;
    uint64_t whole = digit_values(load8(digits));
    int count = digits_in(whole);
    if (count == 0 || count == 8)
        return 0;
    // The point, the six decimals and the separator in one load: XOR with
    // ".000000;" (or ".000000 ") leaves the decimals their values and the
    // point and separator zero.
    uint64_t fraction = load8(digits + count) ^ (spaced ? 0x203030303030302E : 0x3B3030303030302E);
    if ((not_digits(fraction) | (fraction & 0xFF000000000000FF)) != 0)
        return 0;
    if (uint64_t top = digits_on_top(whole, count); top != seen.digits) {
        seen.digits = top;
        seen.seconds = number_in_eight(top);
    }
    // Moved up a byte, the point's zero is a leading zero among eight digits.
    micros = seen.seconds * 1000000 + number_in_eight(fraction << 8);
    return static_cast<size_t>(digits - p) + static_cast<size_t>(count) + 7;
}
[[gnu::always_inline]] inline size_t parse_time_quickly(std::string_view line, int64_t& micros) {
    SecondsSeen once;
    return parse_time_quickly(line, micros, once);
}

// A time in microseconds as the log writes it: seconds with six decimals.
// Writes at most max_time_chars characters to buf and returns the count.
constexpr int max_time_chars = 28;
int format_time(char* buf, int64_t micros);

// "00" to "99": two digits at a time, three independent lookups for six
// decimals rather than six divisions in a row.
extern const char digit_pairs[201];
inline void put_six_digits(char* p, uint32_t n) {
    std::memcpy(p, digit_pairs + 2 * (n / 10000), 2);
    std::memcpy(p + 2, digit_pairs + 2 * (n / 100 % 100), 2);
    std::memcpy(p + 4, digit_pairs + 2 * (n % 100), 2);
}

// Writes times as format_time does, remembering the whole seconds of the
// last one: they change once a second while lines come by the thousand, so
// most times cost only their decimals. Needs max_time_chars of room.
class TimeWriter {
  public:
    int write(char* p, int64_t micros) {
        if (micros < 0)
            return format_time(p, micros);
        uint64_t whole = static_cast<uint64_t>(micros) / 1000000;
        if (whole != whole_) {
            whole_ = whole;
            size_ = static_cast<int>(std::to_chars(text_, text_ + sizeof text_, whole).ptr - text_);
            text_[size_] = '.';
        }
        std::memcpy(p, text_, sizeof text_);
        put_six_digits(p + size_ + 1,
                       static_cast<uint32_t>(static_cast<uint64_t>(micros) % 1000000));
        return size_ + 7;
    }

  private:
    uint64_t whole_ = UINT64_MAX;
    char text_[21] = {};
    int size_ = 0;
};
std::string time_text(int64_t micros);

} // namespace kwlog
