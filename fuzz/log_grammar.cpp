// The nine record grammars of keywatch's log as regular expressions, and the
// line-break rules around them.
#include "fuzz/log_grammar.h"

#include <climits>
#include <regex>
#include <string>

namespace keywatch_fuzz {

namespace {

// Times are fixed notation with six decimals; names, paths and aircraft
// texts are any bytes but the two line-break characters.
#define TIME   R"((\d+\.\d{6}))"
#define TEXT   R"(([^\r\n]*))"
#define NUMBER R"((-?\d+))"

struct Grammar {
    Kind kind;
    std::regex pattern;
};

const std::vector<Grammar>& grammars() {
    static const std::vector<Grammar> all = [] {
        const auto rx = [](const char* text) {
            return std::regex(text, std::regex::ECMAScript | std::regex::optimize);
        };
        return std::vector<Grammar>{
            {Kind::event, rx(" Time=" TIME "; id=" NUMBER "; event_in=" TEXT "; evdata=" NUMBER)},
            {Kind::user_defined,
             rx(" Time= " TIME " id= " NUMBER " event_in= " TEXT " evdata= " NUMBER)},
            {Kind::aircraft_loaded,
             rx(" Time=" TIME "; Aircraft Loaded Title=" TEXT "; Type=" TEXT "; Model=" TEXT)},
            {Kind::gauge_loaded, rx(" Time= " TIME " Gauge Loaded= " TEXT)},
            {Kind::logging_stopped, rx(" Time= " TIME " Logging Stopped")},
            {Kind::log_file_closed, rx(" Time= " TIME " Log File Closed")},
            {Kind::gauge_refreshed, rx(" Time= " TIME " Gauge Refreshed= " TEXT)},
            {Kind::aircraft_title,
             rx(" Time= " TIME " Aircraft Title= " TEXT " Type= " TEXT " Model= " TEXT)},
            {Kind::logging_started, rx(" Time= " TIME " Logging Started")},
        };
    }();
    return all;
}

// A signed 32-bit value printed in decimal, as "%d" prints it.
bool int32_text(const std::string& text, long long& value) {
    if (text.size() > 11)
        return false;
    value = std::stoll(text);
    return value >= INT_MIN && value <= INT_MAX && text != "-0" &&
           !(text.size() > 1 && text[0] == '0') && !(text.size() > 2 && text.rfind("-0", 0) == 0);
}

std::string quoted(std::string_view line) {
    std::string out = "\"";
    for (unsigned char c : line.substr(0, 160)) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += char(c);
        } else {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out + (line.size() > 160 ? "\"..." : "\"");
}

// One line, without its break.
std::string parse_line(std::string_view text, Record& record) {
    const std::string line(text);
    for (const Grammar& grammar : grammars()) {
        std::smatch match;
        if (!std::regex_match(line, match, grammar.pattern))
            continue;
        record.kind = grammar.kind;
        record.time = std::stod(match[1]);
        record.time_end = size_t(match.position(1) + match.length(1));
        record.line = line;
        if (grammar.kind == Kind::event || grammar.kind == Kind::user_defined) {
            record.fields = {match[2], match[3], match[4]};
            if (!int32_text(match[2], record.id) || !int32_text(match[4], record.data))
                return "a number that is no signed 32-bit value as %d prints it: " + quoted(line);
        }
        return {};
    }
    return "a line that is no record: " + quoted(line);
}

} // namespace

const char* kind_name(Kind kind) {
    switch (kind) {
    case Kind::event:
        return "event";
    case Kind::user_defined:
        return "user-defined event";
    case Kind::aircraft_loaded:
        return "aircraft loaded";
    case Kind::gauge_loaded:
        return "gauge loaded";
    case Kind::logging_stopped:
        return "logging stopped";
    case Kind::log_file_closed:
        return "log file closed";
    case Kind::gauge_refreshed:
        return "gauge refreshed";
    case Kind::aircraft_title:
        return "aircraft title";
    case Kind::logging_started:
        return "logging started";
    }
    return "?";
}

std::string parse_records(std::string_view text, std::vector<Record>& records) {
    if (text.empty())
        return {};
    if (text.substr(0, 2) != "\r\n")
        return "records do not begin with CR LF: " + quoted(text);
    if (text.back() == '\n' || text.back() == '\r')
        return "a line break at the end: " +
               quoted(text.substr(text.size() - std::min<size_t>(text.size(), 80)));
    size_t pos = 2;     // just past a CR LF
    bool blank = false; // the line before this one was empty
    for (;;) {
        size_t end = text.find("\r\n", pos);
        const std::string_view line =
            text.substr(pos, end == std::string_view::npos ? end : end - pos);
        const size_t stray = line.find_first_of("\r\n");
        if (stray != std::string_view::npos)
            return std::string("a lone ") + (line[stray] == '\r' ? "CR" : "LF") + " at byte " +
                   std::to_string(pos + stray) + ": " + quoted(line);
        if (line.empty()) {
            if (blank)
                return "two empty lines in a row at byte " + std::to_string(pos);
            blank = true; // never the last line: the end was checked above
        } else {
            Record record{};
            if (std::string error = parse_line(line, record); !error.empty())
                return error + " at byte " + std::to_string(pos);
            if ((record.kind == Kind::aircraft_loaded) != blank)
                return std::string(blank ? "an empty line before a " : "no empty line before an ") +
                       kind_name(record.kind) + " record at byte " + std::to_string(pos);
            blank = false;
            records.push_back(std::move(record));
        }
        if (end == std::string_view::npos)
            return {};
        pos = end + 2;
    }
}

} // namespace keywatch_fuzz
