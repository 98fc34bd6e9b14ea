// Parsing and writing the records of a keywatch log (see records.h).
#include "records.h"
#include "bytes.h"

#include <bit>
#include <charconv>
#include <cstring>

namespace kwlog {

const char* kind_name(Kind kind) {
    switch (kind) {
    case Kind::key:
        return "key";
    case Kind::user:
        return "user";
    case Kind::aircraft_loaded:
        return "aircraft-loaded";
    case Kind::gauge_loaded:
        return "gauge-loaded";
    case Kind::logging_stopped:
        return "logging-stopped";
    case Kind::log_closed:
        return "log-file-closed";
    case Kind::gauge_refreshed:
        return "gauge-refreshed";
    case Kind::aircraft_title:
        return "aircraft-title";
    case Kind::logging_started:
        return "logging-started";
    }
    return "?";
}

namespace {

bool is_digit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// The digits at the front of `text`, at most `most` of them: their count,
// and their value in `value`. With more than `most` digits the count is
// above it. Where the text has eight bytes they are looked at together.
size_t leading_digits(std::string_view text, size_t most, int64_t& value) {
    const char* p = text.data();
    size_t count = 0;
    value = 0;
    if (std::endian::native == std::endian::little && text.size() >= 8) {
        uint64_t values = digit_values(load8(p));
        uint64_t stop = not_digits(values);
        count = stop != 0 ? static_cast<size_t>(std::countr_zero(stop)) / 8 : 8;
        if (count > 0)
            value = number_in_top(values, static_cast<int>(count));
        if (count < 8)
            return count;
    }
    for (; count < text.size() && is_digit(p[count]); ++count) {
        if (count == most)
            return most + 1;
        value = value * 10 + (p[count] - '0');
    }
    return count;
}

// A cursor over one line; every take_* consumes on success only.
struct Cursor {
    std::string_view rest;

    bool take(std::string_view text) {
        if (rest.size() < text.size() || std::memcmp(rest.data(), text.data(), text.size()) != 0)
            return false;
        rest.remove_prefix(text.size());
        return true;
    }

    // Seconds as %f prints them: digits, a point and six decimals, kept as
    // whole microseconds, which must fit 64 bits.
    bool take_time(int64_t& micros) {
        int64_t whole = 0, fraction = 0;
        size_t digits = leading_digits(rest, 13, whole);
        if (digits == 0 || digits > 13 || whole > (INT64_MAX - 999999) / 1000000 ||
            rest.size() - digits < 7 || rest[digits] != '.' ||
            leading_digits(rest.substr(digits + 1), 6, fraction) != 6)
            return false;
        micros = whole * 1000000 + fraction;
        rest.remove_prefix(digits + 7);
        return true;
    }

    // A signed 32-bit number as %d prints it: an optional minus and at most
    // ten digits.
    bool take_int(int32_t& value) {
        size_t sign = !rest.empty() && rest[0] == '-' ? 1 : 0;
        int64_t v = 0;
        size_t digits = leading_digits(rest.substr(sign), 10, v);
        if (sign == 1)
            v = -v;
        if (digits == 0 || digits > 10 || v < INT32_MIN || v > INT32_MAX)
            return false;
        value = static_cast<int32_t>(v);
        rest.remove_prefix(sign + digits);
        return true;
    }

    // The text up to the last occurrence of `before`, which is consumed too.
    // Texts are written byte for byte, so they may hold the separator
    // themselves; the last one is the record's own.
    bool take_until_last(std::string_view before, std::string_view& text) {
        if (rest.size() < before.size())
            return false;
        for (size_t at = rest.size() - before.size() + 1; at-- > 0;) {
            if (rest[at] == before[0] &&
                std::memcmp(rest.data() + at, before.data(), before.size()) == 0) {
                text = rest.substr(0, at);
                rest.remove_prefix(at + before.size());
                return true;
            }
        }
        return false;
    }
};

// Title, type and model, separated as given; the model runs to the line's end.
bool take_aircraft(Cursor& c, std::string_view type_label, std::string_view model_label,
                   Record& out) {
    std::string_view tail;
    if (!c.take_until_last(model_label, tail))
        return false;
    out.model = c.rest;
    Cursor front{tail};
    if (!front.take_until_last(type_label, out.title))
        return false;
    out.type = front.rest;
    return true;
}

} // namespace

namespace {

// The key-event line, by far the most common, read with eight-byte loads
// at the places the format puts its fields. It answers only when sure: a
// line it does not take (a short one, a number of eight digits or more, any
// other kind) goes to the general parser, which gives the same answers.
//
// After the time, from the ';' that ends it: "; id=N; event_in=NAME; evdata=N".
bool quick_rest(std::string_view line, size_t at, Record& out) {
    const char* p = line.data() + at;
    const char* end = line.data() + line.size();
    if (std::memcmp(p, "; id=", 5) != 0)
        return false;
    p += 5;
    bool negative = *p == '-';
    p += negative;
    uint64_t values = digit_values(load8(p));
    int digits = digits_in(values);
    if (digits == 0 || digits == 8)
        return false;
    int64_t id = number_in_top(values, digits);
    p += digits;
    // Room for "; event_in=", a name, "; evdata=" and a digit.
    if (end - p < 22 || std::memcmp(p, "; event_in=", 11) != 0)
        return false;
    const char* name = p + 11;
    // The data runs to the end: the digits in the last eight bytes, after
    // their last byte that is no digit.
    values = digit_values(load8(end - 8));
    uint64_t stop = not_digits(values);
    if (stop == 0)
        return false;
    int last_other = (63 - std::countl_zero(stop)) / 8;
    digits = 7 - last_other;
    if (digits == 0)
        return false;
    int64_t data = number_in_top(values >> (8 * (last_other + 1)), digits);
    const char* separator = end - digits - 9;
    if (end[-digits - 1] == '-') {
        data = -data;
        --separator;
    }
    if (separator <= name || std::memcmp(separator, "; evdata=", 9) != 0)
        return false;
    out.kind = Kind::key;
    out.id = static_cast<int32_t>(negative ? -id : id);
    out.data = static_cast<int32_t>(data);
    out.name = std::string_view(name, static_cast<size_t>(separator - name));
    return true;
}

bool parse_key_quickly(std::string_view line, Record& out) {
    int64_t micros = 0;
    // " Time=0.000000; id=0; event_in=X; evdata=0" is the shortest.
    size_t at = line.size() >= 42 ? parse_time_quickly(line, micros) : 0;
    if (at == 0 || !quick_rest(line, at, out))
        return false;
    out.micros = micros;
    return true;
}

} // namespace

bool parse_record(std::string_view line, Record& out) {
    return parse_key_quickly(line, out) || parse_record_slowly(line, out);
}

bool parse_record_slowly(std::string_view line, Record& out) {
    Cursor c{line};
    if (!c.take(" Time="))
        return false;
    if (c.take(" ")) {
        // The spaced formats: "Time= SECONDS WHAT".
        if (!c.take_time(out.micros) || !c.take(" "))
            return false;
        if (c.take("id= ")) {
            out.kind = Kind::user;
            return c.take_int(out.id) && c.take(" event_in= ") &&
                   c.take_until_last(" evdata= ", out.name) && !out.name.empty() &&
                   c.take_int(out.data) && c.rest.empty();
        }
        if (c.take("Gauge Loaded= ")) {
            out.kind = Kind::gauge_loaded;
            out.path = c.rest;
            return true;
        }
        if (c.take("Gauge Refreshed= ")) {
            out.kind = Kind::gauge_refreshed;
            out.path = c.rest;
            return true;
        }
        if (c.take("Aircraft Title= ")) {
            out.kind = Kind::aircraft_title;
            return take_aircraft(c, " Type= ", " Model= ", out);
        }
        if (c.rest == "Logging Stopped") {
            out.kind = Kind::logging_stopped;
            return true;
        }
        if (c.rest == "Logging Started") {
            out.kind = Kind::logging_started;
            return true;
        }
        if (c.rest == "Log File Closed") {
            out.kind = Kind::log_closed;
            return true;
        }
        return false;
    }
    // "Time=SECONDS; WHAT": a key event or the aircraft-loaded line.
    if (!c.take_time(out.micros) || !c.take("; "))
        return false;
    if (c.take("id=")) {
        out.kind = Kind::key;
        return c.take_int(out.id) && c.take("; event_in=") &&
               c.take_until_last("; evdata=", out.name) && !out.name.empty() &&
               c.take_int(out.data) && c.rest.empty();
    }
    if (c.take("Aircraft Loaded Title=")) {
        out.kind = Kind::aircraft_loaded;
        return take_aircraft(c, "; Type=", "; Model=", out);
    }
    return false;
}

const char digit_pairs[201] = "0001020304050607080910111213141516171819"
                              "2021222324252627282930313233343536373839"
                              "4041424344454647484950515253545556575859"
                              "6061626364656667686970717273747576777879"
                              "8081828384858687888990919293949596979899";

int format_time(char* buf, int64_t micros) {
    char* p = buf;
    uint64_t v = static_cast<uint64_t>(micros);
    if (micros < 0) {
        *p++ = '-';
        v = 0 - v;
    }
    p = std::to_chars(p, buf + max_time_chars, v / 1000000).ptr;
    *p = '.';
    put_six_digits(p + 1, static_cast<uint32_t>(v % 1000000));
    return static_cast<int>(p + 7 - buf);
}

std::string time_text(int64_t micros) {
    char buf[max_time_chars];
    return std::string(buf, static_cast<size_t>(format_time(buf, micros)));
}

} // namespace kwlog
