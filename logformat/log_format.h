// Reading and writing a keywatch log's records by the one definition of
// their texts: the printf formats the module writes them with
// (record_formats.h). Each format is read at compile time as a list of
// pieces, literal text each followed by a field, and the one parser and the
// one writer below work from those lists, as do the readers' quick paths
// (keywatch-log's). Change a record's text there, and every reader reads
// the new text, and no longer the old.
#pragma once

#include "logformat/record_formats.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace logformat {

// The nine kinds of record, in the order of `formats` below.
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
constexpr size_t kind_count = 9;

constexpr bool is_event(Kind kind) {
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
    std::string_view time;               // the time as written
};

// ---- The formats, as pieces ----------------------------------------------------

// What a conversion reads and writes: %f and %Lf a time, seconds with six
// decimals; %d a signed 32-bit number; %s a text, any bytes but a line end.
enum class Field : uint8_t { none, time, number, text };

// Literal text, then a field (none after a format's last literal).
struct Piece {
    std::string_view literal;
    Field field = Field::none;
};

struct Format {
    Kind kind;
    const char* name;   // the kind's short name, as csv writes it: "key", "aircraft-loaded", ...
    const char* printf; // the module's format
    size_t line_breaks; // the line feeds the format begins with
    std::array<Piece, 6> pieces;
    size_t count;
    // Where the format's numbers and texts go in a Record, in its order.
    std::array<int32_t Record::*, 2> numbers;
    std::array<std::string_view Record::*, 3> texts;
    size_t number_count, text_count;
    bool named; // its first text is an event's name, which is never empty

    // The text after the time: the literal that follows it, first.
    constexpr std::string_view after_time() const {
        return pieces[1].literal;
    }
    // The shortest line of this kind: each number one digit, each text
    // empty but a name, the time 0.000000.
    constexpr size_t shortest() const {
        size_t size = 0;
        for (size_t i = 0; i < count; ++i)
            size += pieces[i].literal.size() + (pieces[i].field == Field::time     ? 8
                                                : pieces[i].field == Field::number ? 1
                                                                                   : 0);
        return size + (named ? 1 : 0);
    }
};

namespace detail {

constexpr Format compile(Kind kind, const char* name, const char* printf,
                         std::array<int32_t Record::*, 2> numbers,
                         std::array<std::string_view Record::*, 3> texts, bool named = false) {
    Format f{kind, name, printf, 0, {}, 0, numbers, texts, 0, 0, named};
    std::string_view s(printf);
    while (!s.empty() && s.front() == '\n') {
        ++f.line_breaks;
        s.remove_prefix(1);
    }
    size_t begin = 0;
    for (size_t at = 0; at < s.size(); ++at) {
        if (s[at] != '%')
            continue;
        Field field = Field::none;
        size_t length = 2;
        if (s.substr(at, 2) == "%f") {
            field = Field::time;
        } else if (s.substr(at, 3) == "%Lf") {
            field = Field::time;
            length = 3;
        } else if (s.substr(at, 2) == "%d") {
            field = Field::number;
            f.number_count++;
        } else if (s.substr(at, 2) == "%s") {
            field = Field::text;
            f.text_count++;
        } else {
            throw "a conversion the readers cannot read"; // no constant: the build fails
        }
        f.pieces[f.count++] = Piece{s.substr(begin, at - begin), field};
        at += length - 1;
        begin = at + 1;
    }
    if (begin < s.size())
        f.pieces[f.count++] = Piece{s.substr(begin), Field::none};
    return f;
}

} // namespace detail

inline constexpr Format formats[kind_count] = {
    detail::compile(Kind::key, "key", RECORD_EVENT, {&Record::id, &Record::data}, {&Record::name},
                    true),
    detail::compile(Kind::user, "user", RECORD_USER_DEFINED_EVENT, {&Record::id, &Record::data},
                    {&Record::name}, true),
    detail::compile(Kind::aircraft_loaded, "aircraft-loaded", RECORD_AIRCRAFT_LOADED, {},
                    {&Record::title, &Record::type, &Record::model}),
    detail::compile(Kind::gauge_loaded, "gauge-loaded", RECORD_GAUGE_LOADED, {}, {&Record::path}),
    detail::compile(Kind::logging_stopped, "logging-stopped", RECORD_LOGGING_STOPPED, {}, {}),
    detail::compile(Kind::log_closed, "log-file-closed", RECORD_LOG_FILE_CLOSED, {}, {}),
    detail::compile(Kind::gauge_refreshed, "gauge-refreshed", RECORD_GAUGE_REFRESHED, {},
                    {&Record::path}),
    detail::compile(Kind::aircraft_title, "aircraft-title", RECORD_AIRCRAFT_TITLE, {},
                    {&Record::title, &Record::type, &Record::model}),
    detail::compile(Kind::logging_started, "logging-started", RECORD_LOGGING_STARTED, {}, {}),
};

constexpr const Format& format_of(Kind kind) {
    return formats[static_cast<size_t>(kind)];
}

// The shortest record of any kind, without its line end.
constexpr size_t shortest_line() {
    size_t least = SIZE_MAX;
    for (const Format& f : formats)
        least = f.shortest() < least ? f.shortest() : least;
    return least;
}

namespace detail {

// What the parser and the readers' quick paths rely on: every record opens
// with a literal and its time; fields are apart, each text followed by a
// literal to end it or by the line's end; every number and text has its
// place in a Record; and no line can be two kinds, as the literals after
// the time tell them apart.
consteval bool well_formed() {
    for (size_t k = 0; k < kind_count; ++k) {
        const Format& f = formats[k];
        if (f.kind != Kind(k) || f.count < 2 || f.pieces[0].field != Field::time ||
            f.pieces[0].literal.empty() || f.pieces[1].literal.empty())
            return false;
        for (size_t i = 1; i < f.count; ++i)
            if (f.pieces[i].field == Field::time || f.pieces[i].literal.empty() ||
                (f.pieces[i].field == Field::none && i + 1 != f.count))
                return false;
        for (size_t i = 0; i < f.numbers.size(); ++i)
            if ((f.numbers[i] != nullptr) != (i < f.number_count))
                return false;
        for (size_t i = 0; i < f.texts.size(); ++i)
            if ((f.texts[i] != nullptr) != (i < f.text_count))
                return false;
        if (f.named != is_event(f.kind) || (f.named && f.text_count == 0))
            return false;
        for (size_t other = 0; other < k; ++other) {
            const Format& g = formats[other];
            std::string_view a = f.after_time(), b = g.after_time();
            if (f.pieces[0].literal == g.pieces[0].literal &&
                (a.starts_with(b) || b.starts_with(a)))
                return false;
        }
    }
    return true;
}
static_assert(well_formed(), "a record format the readers cannot tell apart or read back");

} // namespace detail

// ---- Reading and writing ----------------------------------------------------------

// The kind's short name, as csv writes it: "key", "user", "aircraft-loaded", ...
inline const char* kind_name(Kind kind) {
    return format_of(kind).name;
}

// Parses one line (without its line end) as one of the nine kinds; false for
// anything else, empty lines included. A time is digits, a point and exactly
// six digits, as %f prints it, at most thirteen digits before the point; a
// number an optional minus and at most ten digits, within 32 bits; an
// event's name is never empty. A text runs to the last place where what
// follows it in the format is found, so a text may hold that itself.
bool parse_record(std::string_view line, Record& out);

// The line the module writes for this record, without its line breaks: its
// fields as the format prints them.
std::string record_line(const Record& record);

} // namespace logformat
