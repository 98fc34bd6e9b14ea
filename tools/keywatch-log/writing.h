// What summary's text and report's page both write: a count with the word
// for it, and a table that says so when it has no rows.
#pragma once

#include "html_text.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kwlog {

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
