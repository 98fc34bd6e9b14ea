// keywatch-log csv: every event line as one RFC 4180 row (CR LF line ends,
// fields quoted when they hold a comma, quote, CR or LF).
#include "commands.h"
#include "files.h"
#include "reader.h"

namespace kwlog {
namespace {

void put_field(Output& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.put(text);
        return;
    }
    out.put('"');
    for (size_t quote; (quote = text.find('"')) != std::string_view::npos;) {
        out.put(text.substr(0, quote + 1));
        out.put('"');
        text.remove_prefix(quote + 1);
    }
    out.put(text);
    out.put('"');
}

void put_row(Output& out, uint64_t session, const Record& r) {
    out.put_int(static_cast<int64_t>(session));
    out.put(',');
    out.put_time(r.micros);
    out.put(',');
    out.put(kind_name(r.kind));
    out.put(',');
    if (is_event(r.kind)) {
        out.put_int(r.id);
        out.put(',');
        put_field(out, r.name);
        out.put(',');
        out.put_int(r.data);
    } else {
        // Load and control lines: no id or data; the name column holds the
        // line's text, if it has one.
        out.put(',');
        if (r.kind == Kind::gauge_loaded || r.kind == Kind::gauge_refreshed) {
            put_field(out, r.path);
        } else if (r.kind == Kind::aircraft_loaded || r.kind == Kind::aircraft_title) {
            std::string text = "Title=";
            text.append(r.title)
                .append("; Type=")
                .append(r.type)
                .append("; Model=")
                .append(r.model);
            put_field(out, text);
        }
        out.put(',');
    }
    out.put("\r\n");
}

} // namespace

int run_csv(const std::string& file, const CsvOptions& options) {
    Input input;
    Output output;
    if (!input.open(file))
        return 2;
    if (!(options.output.empty() ? output.open_stdout(input, false)
                                 : output.open_file(options.output, input)))
        return 2;
    output.put("session,time,kind,id,name,data\r\n");
    LogReader reader(input.file(), input.name(), options.strict);
    Record record;
    while (reader.next(record)) {
        if (options.all || is_event(record.kind))
            put_row(output, reader.session(), record);
        output.maybe_flush();
        if (output.failed())
            return output.close(0);
    }
    int status = reader.finish();
    if (status != 0) {
        output.discard();
        return status;
    }
    return output.close(0);
}

} // namespace kwlog
