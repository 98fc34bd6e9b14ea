// The fuzz harness's log grammar must accept the module's log and refuse
// logs that break it: a grammar that accepts anything would let the fuzzer
// pass over corrupted logs. A plain program: prints each failed case, exits
// non-zero when there is one.

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/log_grammar.h"

using keywatch_fuzz::Kind;
using keywatch_fuzz::parse_records;
using keywatch_fuzz::Record;

namespace {

int failures = 0;

void expect(bool good, const std::string& what) {
    if (!good) {
        std::printf("FAILED: %s\n", what.c_str());
        failures++;
    }
}

const std::string good_log =
    "\r\n\r\n Time=0.000012; Aircraft Loaded Title=Mooney; Bravo; Type=Mooney; Model=M20T"
    "\r\n Time= 0.000020 Gauge Loaded= /opt/keywatch/keywatch_x64.so"
    "\r\n Time=1.250000; id=34; event_in=KEY_GEAR_TOGGLE; evdata=-1"
    "\r\n Time= 1.300000 id= -65537 event_in= User_Defined_Event evdata= 2147483647"
    "\r\n Time= 2.000000 Logging Stopped"
    "\r\n Time= 2.100000 Logging Started"
    "\r\n Time= 3.000000 Gauge Refreshed= "
    "\r\n Time= 3.000001 Aircraft Title=  Type= \xC3\xA9\x7F\x01 Model= x Type= y"
    "\r\n Time= 4.000000 Log File Closed";

} // namespace

int main() {
    std::vector<Record> records;
    std::string error = parse_records(good_log, records);
    expect(error.empty(), "the module's own log is refused: " + error);
    const std::vector<Kind> kinds = {
        Kind::aircraft_loaded, Kind::gauge_loaded,    Kind::event,
        Kind::user_defined,    Kind::logging_stopped, Kind::logging_started,
        Kind::gauge_refreshed, Kind::aircraft_title,  Kind::log_file_closed};
    std::vector<Kind> found;
    for (const Record& record : records)
        found.push_back(record.kind);
    expect(found == kinds, "the records are not read as the nine kinds in order");
    expect(records.size() > 3 && records[2].id == 34 && records[2].data == -1 &&
               records[2].fields[1] == "KEY_GEAR_TOGGLE" && records[2].time == 1.25 &&
               records[3].id == -65537 && records[3].data == 2147483647,
           "the event records' numbers, name or time are misread");
    records.clear();
    expect(parse_records("", records).empty() && records.empty(), "an empty log is refused");

    // Each of these breaks one rule of the log, and must be refused.
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"a bare LF", "\n Time= 1.000000 Logging Stopped"},
        {"an LF break inside",
         "\r\n Time= 1.000000 Logging Stopped\n Time= 1.000000 Logging Started"},
        {"a lone CR in a text", "\r\n Time= 1.000000 Gauge Loaded= a\rb"},
        {"a break at the end", "\r\n Time= 1.000000 Logging Stopped\r\n"},
        {"no break at the start", " Time= 1.000000 Logging Stopped"},
        {"five decimals", "\r\n Time= 1.00000 Logging Stopped"},
        {"exponent notation", "\r\n Time= 1e-06 Logging Stopped"},
        {"a negative time", "\r\n Time= -1.000000 Logging Stopped"},
        {"the event's spacing in the user-defined format",
         "\r\n Time= 1.000000 id= 4096; event_in= User_Defined_Event evdata= 0"},
        {"an id beyond 32 bits", "\r\n Time=1.000000; id=4294967295; event_in=X; evdata=0"},
        {"data printed unsigned", "\r\n Time=1.000000; id=1; event_in=X; evdata=4294967295"},
        {"an aircraft record without its empty line",
         "\r\n Time=1.000000; Aircraft Loaded Title=; Type=; Model="},
        {"an empty line before another record", "\r\n\r\n Time= 1.000000 Logging Stopped"},
        {"two empty lines", "\r\n\r\n\r\n Time=1.000000; Aircraft Loaded Title=; Type=; Model="},
        {"an unknown record", "\r\n Time= 1.000000 Logging Paused"},
        {"a half-written record", "\r\n Time= 1.000000 Logging Sto"},
        {"NUL bytes", std::string("\r\n Time= 1.000000 Logging Stopped\0\0", 35)},
    };
    for (const auto& [what, log] : bad) {
        records.clear();
        expect(!parse_records(log, records).empty(), "accepted: " + what);
    }

    std::printf("log_grammar_test: %zu cases, %d failed\n", bad.size() + 3, failures);
    return failures == 0 ? 0 : 1;
}
