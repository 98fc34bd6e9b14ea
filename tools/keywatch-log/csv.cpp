// keywatch-log csv: every event line as one RFC 4180 row (CR LF line ends,
// fields quoted when they hold a comma, quote, CR or LF).
#include "commands.h"
#include "files.h"
#include "reader.h"

#include <charconv>
#include <cstring>

namespace kwlog {
namespace {

uint64_t load8(const char* p) {
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    return chunk;
}

// Whether a field holds a comma, quote, CR or LF. All four are below '0',
// and names seldom hold any byte below it, so eight bytes at a time are
// first tested for that alone: adding 0x50 to the low seven bits of a byte
// sets its high bit when they are '0' or more.
bool needs_quotes(std::string_view text) {
    const char* p = text.data();
    size_t n = text.size();
    const auto plain = [](uint64_t x) {
        return ((((x & 0x7F7F7F7F7F7F7F7F) + 0x5050505050505050) | x) & 0x8080808080808080) ==
               0x8080808080808080;
    };
    if (n >= 8) {
        bool all_plain = true;
        for (size_t i = 0; all_plain && i + 8 <= n; i += 8)
            all_plain = plain(load8(p + i));
        if (all_plain && plain(load8(p + n - 8)))
            return false;
    }
    for (size_t i = 0; i < n; ++i)
        if (p[i] == ',' || p[i] == '"' || p[i] == '\r' || p[i] == '\n')
            return true;
    return false;
}

void put_field(Output& out, std::string_view text) {
    if (!needs_quotes(text)) {
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

char* put_text(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

// One row, written in place: the common case, an event whose name needs no
// quotes, goes through here at the speed of a copy.
class Rows {
  public:
    explicit Rows(Output& out) : out_(out) {}

    void put(uint64_t session, const Record& r) {
        if (session != session_) {
            session_ = session;
            char* end =
                std::to_chars(session_text_, session_text_ + sizeof session_text_, session).ptr;
            *end++ = ',';
            session_size_ = static_cast<size_t>(end - session_text_);
        }
        size_t name_size = is_event(r.kind) ? r.name.size() : 0;
        if (!is_event(r.kind) || name_size > Output::largest_room / 2 || needs_quotes(r.name)) {
            put_slowly(r);
            return;
        }
        char* p = out_.room(name_size + 128);
        p = put_text(p, std::string_view(session_text_, session_size_));
        p += format_time(p, r.micros);
        p = put_text(p,
                     r.kind == Kind::key ? std::string_view(",key,") : std::string_view(",user,"));
        p = std::to_chars(p, p + 12, r.id).ptr;
        *p++ = ',';
        p = put_text(p, r.name);
        *p++ = ',';
        p = std::to_chars(p, p + 12, r.data).ptr;
        *p++ = '\r';
        *p++ = '\n';
        out_.wrote(p);
    }

  private:
    void put_slowly(const Record& r) {
        out_.put(std::string_view(session_text_, session_size_));
        out_.put_time(r.micros);
        out_.put(',');
        out_.put(kind_name(r.kind));
        out_.put(',');
        if (is_event(r.kind)) {
            out_.put_int(r.id);
            out_.put(',');
            put_field(out_, r.name);
            out_.put(',');
            out_.put_int(r.data);
        } else {
            // Load and control lines: no id or data; the name column holds
            // the line's text, if it has one.
            out_.put(',');
            if (r.kind == Kind::gauge_loaded || r.kind == Kind::gauge_refreshed) {
                put_field(out_, r.path);
            } else if (r.kind == Kind::aircraft_loaded || r.kind == Kind::aircraft_title) {
                std::string text = "Title=";
                text.append(r.title)
                    .append("; Type=")
                    .append(r.type)
                    .append("; Model=")
                    .append(r.model);
                put_field(out_, text);
            }
            out_.put(',');
        }
        out_.put("\r\n");
    }

    Output& out_;
    uint64_t session_ = 0;
    char session_text_[24] = "0,";
    size_t session_size_ = 2;
};

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
    Rows rows(output);
    Record record;
    while (reader.next(record)) {
        if (options.all || is_event(record.kind))
            rows.put(reader.session(), record);
        output.maybe_flush();
        if (output.failed())
            return output.close(0);
    }
    if (int status = end_of_input(reader, output))
        return status;
    return output.close(0);
}

} // namespace kwlog
