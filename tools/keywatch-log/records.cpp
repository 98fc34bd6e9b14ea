// Parsing and writing the records of a keywatch log (see records.h).
#include "records.h"

#include <charconv>

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
    return c >= '0' && c <= '9';
}

// A cursor over one line; every take_* consumes on success only.
struct Cursor {
    std::string_view rest;

    bool take(std::string_view text) {
        if (rest.substr(0, text.size()) != text)
            return false;
        rest.remove_prefix(text.size());
        return true;
    }

    // Seconds as %f prints them: digits, a point and six decimals, kept as
    // whole microseconds.
    bool take_time(int64_t& micros) {
        const char* begin = rest.data();
        const char* end = begin + rest.size();
        uint64_t whole = 0;
        auto [point, error] = std::from_chars(begin, end, whole);
        if (error != std::errc{} || end - point < 7 || *point != '.' ||
            whole > (INT64_MAX - 999999) / 1000000)
            return false;
        int64_t fraction = 0;
        for (int i = 1; i <= 6; ++i) {
            if (!is_digit(point[i]))
                return false;
            fraction = fraction * 10 + (point[i] - '0');
        }
        if (end - point > 7 && is_digit(point[7]))
            return false;
        micros = static_cast<int64_t>(whole) * 1000000 + fraction;
        rest.remove_prefix(static_cast<size_t>(point + 7 - begin));
        return true;
    }

    // A signed 32-bit number as %d prints it: an optional minus and at most
    // ten digits.
    bool take_int(int32_t& value) {
        size_t sign = !rest.empty() && rest[0] == '-' ? 1 : 0;
        size_t digits = 0;
        while (sign + digits < rest.size() && digits <= 10 && is_digit(rest[sign + digits]))
            ++digits;
        if (digits == 0 || digits > 10)
            return false;
        const char* end = rest.data() + sign + digits;
        auto [stop, error] = std::from_chars(rest.data(), end, value);
        if (error != std::errc{} || stop != end)
            return false;
        rest.remove_prefix(sign + digits);
        return true;
    }

    // The text up to the last occurrence of `before`, which is consumed too.
    // Texts are written byte for byte, so they may hold the separator
    // themselves; the last one is the record's own.
    bool take_until_last(std::string_view before, std::string_view& text) {
        size_t at = rest.rfind(before);
        if (at == std::string_view::npos)
            return false;
        text = rest.substr(0, at);
        rest.remove_prefix(at + before.size());
        return true;
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

bool parse_record(std::string_view line, Record& out) {
    Cursor c{line};
    if (!c.take(" Time="))
        return false;
    out = Record{};
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

int format_time(char* buf, int64_t micros) {
    char* p = buf;
    uint64_t v = static_cast<uint64_t>(micros);
    if (micros < 0) {
        *p++ = '-';
        v = 0 - v;
    }
    p = std::to_chars(p, buf + max_time_chars, v / 1000000).ptr;
    *p++ = '.';
    uint64_t fraction = v % 1000000;
    for (int i = 5; i >= 0; --i) {
        p[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return static_cast<int>(p + 6 - buf);
}

std::string time_text(int64_t micros) {
    char buf[max_time_chars];
    return std::string(buf, static_cast<size_t>(format_time(buf, micros)));
}

} // namespace kwlog
