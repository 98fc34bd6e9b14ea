// Text from a log into an HTML page. A log's texts are bytes as the
// simulator and Windows gave them: names are ASCII, but an aircraft title or
// a folder may be in the system's code page (Windows-1252 on a Western
// system), UTF-8, or anything a hand edit left. The page is UTF-8 and shows
// them so: valid UTF-8 as it is, any other byte as Windows-1252 reads it,
// control characters as U+FFFD, and the characters HTML gives a meaning to
// escaped. Numbers are written without printf, so that both targets write
// the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kwlog {

// `text` escaped for HTML element content and attribute values. With
// `most`, at most that many characters, then "…" when there were more.
void append_html(std::string& out, std::string_view text, size_t most = SIZE_MAX);

void append_number(std::string& out, int64_t value);
void append_number(std::string& out, uint64_t value);
inline void append_number(std::string& out, int32_t value) {
    append_number(out, int64_t{value});
}
inline void append_number(std::string& out, uint32_t value) {
    append_number(out, uint64_t{value});
}
// A value in tenths, as a decimal: 1234 is "123.4", 1230 is "123".
void append_tenths(std::string& out, int64_t tenths);
// A time in microseconds as the log writes it, "0.535747".
void append_time(std::string& out, int64_t micros);

// Table cells of the report's pages, numbers right-aligned.
inline void cell_time(std::string& out, int64_t micros) {
    out += "<td class=\"num\">";
    append_time(out, micros);
    out += "</td>";
}
void cell_number(std::string& out, auto value) {
    out += "<td class=\"num\">";
    append_number(out, value);
    out += "</td>";
}

} // namespace kwlog
