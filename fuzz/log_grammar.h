// The grammar of keywatch's log, for the fuzz harness: every line the module
// writes is one of nine records, each line break is CR LF, every record
// begins with a line break (the aircraft-loaded record with two, so an empty
// line stands before it and nowhere else), and the file never ends with one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace keywatch_fuzz {

enum class Kind {
    event,           // " Time=T; id=N; event_in=NAME; evdata=N"
    user_defined,    // " Time= T id= N event_in= NAME evdata= N"
    aircraft_loaded, // " Time=T; Aircraft Loaded Title=TEXT; Type=TEXT; Model=TEXT"
    gauge_loaded,    // " Time= T Gauge Loaded= PATH"
    logging_stopped, // " Time= T Logging Stopped"
    log_file_closed, // " Time= T Log File Closed"
    gauge_refreshed, // " Time= T Gauge Refreshed= PATH"
    aircraft_title,  // " Time= T Aircraft Title= TEXT Type= TEXT Model= TEXT"
    logging_started, // " Time= T Logging Started"
};

const char* kind_name(Kind kind);

struct Record {
    Kind kind;
    double time;      // seconds, as printed
    std::string line; // without its line break
    size_t time_end;  // offset in `line` just past the time's digits
    // Event and user-defined records: the id, the name and the data; the
    // others: nothing (their texts may contain the separators themselves).
    std::vector<std::string> fields;
    long long id = 0, data = 0; // event and user-defined records
};

// Reads `text`, a run of whole records as the module writes them one after
// the other: empty, or beginning with CR LF and not ending with a line break.
// Appends what it finds to `records`. Returns an empty string when every
// byte fits the grammar, otherwise what is wrong and where.
std::string parse_records(std::string_view text, std::vector<Record>& records);

} // namespace keywatch_fuzz
