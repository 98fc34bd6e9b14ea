// The one mask every checker of a log applies before comparing it: each
// record's time becomes "T" and, when asked, each module path "MODULE", the
// only two things that rightly differ between runs and between the two
// targets. The unit tests, the fuzz harness and (through log-mask) the
// scenarios' golden files and the comparison of the two targets' logs all
// use it.
//
// Records are read by the log format's own parser (logformat/log_format.h),
// so only what a record puts there is masked: its time, and the path that
// ends a gauge-loaded or gauge-refreshed record (but for an empty one, which
// a Reset before the first start writes). Aircraft texts are the
// simulator's and stay as they are, whatever they hold, line breaks
// included: a record may run over several lines, and a line that does not
// open a record is left as it is. A line that opens like a record but is
// none, or a path that does not name the module file, is not masked and is
// reported, so that a wrong format still shows.
#pragma once

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logformat/log_format.h"

struct MaskedLog {
    std::string text;                // the log with its times (and paths) masked
    std::vector<double> times;       // each masked time's value, in order
    std::vector<std::string> faults; // "line N: what is wrong", one per fault
};

// `module_file`: the module file's name (keywatch_x64.so or .dll). When given,
// each module path must end with a path separator and that name and is
// masked; when not, paths stay as they are.
inline MaskedLog mask_log(std::string_view log,
                          std::optional<std::string_view> module_file = std::nullopt) {
    // What every record opens with: a line that opens so and is no record
    // alone is read with the lines after it, up to the next that opens so,
    // until they make one.
    const std::string_view opening = logformat::formats[0].pieces[0].literal;
    const auto line_end = [&](size_t start) { return std::min(log.find('\n', start), log.size()); };
    const auto without_cr = [](std::string_view line) {
        return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
    };

    MaskedLog masked;
    masked.text.reserve(log.size());
    for (size_t start = 0, line_number = 1; start <= log.size();) {
        size_t end = line_end(start);
        std::string_view line = without_cr(log.substr(start, end - start));
        logformat::Record record;
        bool parsed = !line.empty() && logformat::parse_record(line, record);
        size_t lines = 1;
        for (size_t more = end, joined = 1;
             !parsed && line.starts_with(opening) && more < log.size();) {
            const size_t next_end = line_end(more + 1);
            const std::string_view next = without_cr(log.substr(more + 1, next_end - more - 1));
            if (next.starts_with(opening))
                break;
            more = next_end;
            ++joined;
            const std::string_view text = without_cr(log.substr(start, more - start));
            if (logformat::parse_record(text, record)) {
                parsed = true;
                line = text;
                end = more;
                lines = joined;
            }
        }
        const bool cr = log.substr(start, end - start).ends_with('\r');
        auto fault = [&](const std::string& what) {
            masked.faults.push_back("line " + std::to_string(line_number) + ": " + what);
        };

        std::string_view rest = line;
        if (!parsed && line.starts_with(opening)) {
            fault("not a keywatch record: " + std::string(line.substr(0, 32)));
        } else if (parsed) {
            const size_t time_at = static_cast<size_t>(record.time.data() - line.data());
            double value = 0;
            std::from_chars(record.time.data(), record.time.data() + record.time.size(), value);
            masked.text.append(line.substr(0, time_at)).append("T");
            masked.times.push_back(value);
            rest.remove_prefix(time_at + record.time.size());

            // The module path, to the end of the record.
            const std::string_view path = record.path;
            const bool gauge = record.kind == logformat::Kind::gauge_loaded ||
                               record.kind == logformat::Kind::gauge_refreshed;
            if (module_file && gauge && !path.empty()) {
                const size_t name_at = path.size() - std::min(path.size(), module_file->size());
                if (path.ends_with(*module_file) && name_at > 0 &&
                    (path[name_at - 1] == '/' || path[name_at - 1] == '\\')) {
                    masked.text.append(rest.substr(0, rest.size() - path.size())).append("MODULE");
                    rest = {};
                } else {
                    fault("module path does not name " + std::string(*module_file) + ": " +
                          std::string(path));
                }
            }
        }

        masked.text.append(rest);
        if (cr)
            masked.text += '\r';
        if (end == log.size())
            break;
        masked.text += '\n';
        start = end + 1;
        line_number += lines;
    }
    return masked;
}
