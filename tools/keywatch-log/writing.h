// What summary's text and report's page both write: a count with the word
// for it, a share and a rate rounded alike, and a table that says so when it
// has no rows.
#pragma once

#include "events.h"
#include "html_text.h"

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kwlog {

// a / b rounded to the nearest whole number, halves up, in whole numbers so
// that no binary fraction decides a half (1/16 is 6.25%, shown 6.3%).
__extension__ typedef unsigned __int128 wide_uint;
inline wide_uint rounded_quotient(wide_uint a, wide_uint b) {
    return (2 * a + b) / (2 * b);
}

// The share of `total` that `count` is, to a tenth of a per cent: "6.3%".
inline void append_share(std::string& out, uint64_t count, uint64_t total) {
    auto tenths = static_cast<uint64_t>(rounded_quotient(wide_uint{count} * 1000, total));
    append_number(out, tenths / 10);
    out += '.';
    out += static_cast<char>('0' + tenths % 10);
    out += '%';
}

// Events per second of `count` events over `length` microseconds (count - 1
// gaps), rounded as above; from 10^15 on, in powers of ten ("2e+17"); "-"
// when they share one moment.
inline void append_rate(std::string& out, uint64_t count, int64_t length) {
    if (length <= 0 || count < 2) {
        out += "-";
        return;
    }
    wide_uint per_second =
        rounded_quotient(wide_uint{count - 1} * 1000000, static_cast<uint64_t>(length));
    constexpr uint64_t large = 1000000000000000;
    if (per_second < large) {
        append_number(out, static_cast<uint64_t>(per_second));
        return;
    }
    char buf[32];
    double value = static_cast<double>(count - 1) * 1e6 / static_cast<double>(length);
    out.append(buf,
               std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 0).ptr);
}

// What the events beyond the `told` told apart are shown as, wherever they
// are counted together (see EventCounts::most_events).
inline std::string others_text(uint64_t told = EventCounts::most_events) {
    return "(other events, beyond the first " + std::to_string(told) +
           " distinct: counted together)";
}

// `one` for a count of 1, else `many`.
inline const char* plural(uint64_t n, const char* one, const char* many) {
    return n == 1 ? one : many;
}

// The count and its word: "1 line", "2 lines".
inline void append_plural(std::string& out, uint64_t n, const char* one, const char* many) {
    append_number(out, n);
    out += ' ';
    out += plural(n, one, many);
}

// `none` when there are no rows; else `head`, each row as `put` writes it,
// and `tail`.
template <class Row, class Put>
void put_table(std::string& out, const std::vector<Row>& rows, std::string_view none,
               std::string_view head, std::string_view tail, Put put) {
    if (rows.empty()) {
        out += none;
        return;
    }
    out += head;
    for (const Row& row : rows)
        put(row);
    out += tail;
}

} // namespace kwlog
