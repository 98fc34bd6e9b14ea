// The one mask every checker of a log applies before comparing it: each
// record's time becomes "T" and, when asked, each module path "MODULE", the
// only two things that rightly differ between runs and between the two
// targets. The unit tests, the fuzz harness and (through log-mask) the
// scenarios' golden files and the comparison of the two targets' logs all
// use it.
//
// Only what a record puts there is masked: the time that opens each line
// (" Time=" or " Time= ", then digits, a point and exactly six decimals), and
// the path that ends a "Gauge Loaded= " or "Gauge Refreshed= " line (but for
// an empty one, which a Reset before the first start writes). Aircraft texts
// are the simulator's and stay as they are, whatever they hold. A time in
// another form, or a path that does not name the module file, is not masked
// and is reported, so that a wrong format still shows.
#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    MaskedLog masked;
    masked.text.reserve(log.size());
    size_t line_number = 0;
    for (size_t start = 0; start <= log.size(); ++line_number) {
        size_t end = log.find('\n', start);
        if (end == std::string_view::npos)
            end = log.size();
        std::string_view line = log.substr(start, end - start);
        const bool cr = line.ends_with('\r');
        if (cr)
            line.remove_suffix(1);
        auto fault = [&](const std::string& what) {
            masked.faults.push_back("line " + std::to_string(line_number + 1) + ": " + what);
        };

        // The time: digits, a point, six decimals, and no further digit.
        std::string_view rest = line;
        if (rest.starts_with(" Time=")) {
            const size_t at = rest.starts_with(" Time= ") ? 7 : 6;
            size_t digits = at;
            while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
                ++digits;
            size_t decimals = digits + 1;
            while (decimals < rest.size() && rest[decimals] >= '0' && rest[decimals] <= '9')
                ++decimals;
            double value = 0;
            if (digits > at && digits < rest.size() && rest[digits] == '.' &&
                decimals - digits - 1 == 6 &&
                std::from_chars(rest.data() + at, rest.data() + decimals, value).ec ==
                    std::errc()) {
                masked.text.append(rest.substr(0, at)).append("T");
                masked.times.push_back(value);
                rest.remove_prefix(decimals);
            } else {
                fault("time not in fixed six-decimal form: " + std::string(line.substr(0, 32)));
            }
        }

        // The module path, to the end of the line.
        if (module_file && rest.data() != line.data()) {
            for (std::string_view record : {" Gauge Loaded= ", " Gauge Refreshed= "}) {
                if (!rest.starts_with(record))
                    continue;
                const std::string_view path = rest.substr(record.size());
                if (path.empty()) // before the first start the module knows no path
                    continue;
                const size_t name_at = path.size() - std::min(path.size(), module_file->size());
                if (path.ends_with(*module_file) && name_at > 0 &&
                    (path[name_at - 1] == '/' || path[name_at - 1] == '\\')) {
                    masked.text.append(record).append("MODULE");
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
    }
    return masked;
}
