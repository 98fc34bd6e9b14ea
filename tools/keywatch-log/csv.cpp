// keywatch-log csv: every event line as one RFC 4180 row (CR LF line ends,
// fields quoted when they hold a comma, quote, CR or LF; text that a
// spreadsheet would run as a formula marked as text, csv_cells.h).
#include "bytes.h"
#include "commands.h"
#include "csv_cells.h"
#include "files.h"
#include "reader.h"

#include <charconv>
#include <cstring>

namespace kwlog {
namespace {

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

// A text field as RFC 4180 writes it: quoted, its quotes doubled, when it
// holds a comma, quote, CR or LF; and quoted after a single quote when a
// spreadsheet would run it (csv_cells.h).
void append_field(std::string& out, std::string_view text) {
    bool formula = runs_as_formula(text);
    if (!formula && !needs_quotes(text)) {
        out += text;
        return;
    }
    out += formula ? "\"'" : "\"";
    for (size_t quote; (quote = text.find('"')) != std::string_view::npos;) {
        out += text.substr(0, quote + 1);
        out += '"';
        text.remove_prefix(quote + 1);
    }
    out += text;
    out += '"';
}

// ",kind,id,name,data" and the line end: what follows a row's time.
void append_tail(std::string& out, const Record& r, const EventNames& names) {
    out += ',';
    out += kind_name(r.kind);
    out += ',';
    char buf[16];
    if (is_event(r.kind)) {
        out.append(buf, std::to_chars(buf, buf + sizeof buf, r.id).ptr);
        out += ',';
        append_field(out, names.shown(r.id, r.name));
        out += ',';
        out.append(buf, std::to_chars(buf, buf + sizeof buf, r.data).ptr);
    } else {
        // Load and control lines: no id or data; the name column holds the
        // line's text, if it has one.
        out += ',';
        if (r.kind == Kind::gauge_loaded || r.kind == Kind::gauge_refreshed) {
            append_field(out, r.path);
        } else if (r.kind == Kind::aircraft_loaded || r.kind == Kind::aircraft_title) {
            std::string text = "Title=";
            text.append(r.title)
                .append("; Type=")
                .append(r.type)
                .append("; Model=")
                .append(r.model);
            append_field(out, text);
        }
        out += ',';
    }
    out += "\r\n";
}

// Each row is the session, the time, and the tail: the same for every
// record of a key, so written once per key of a stretch and copied for the
// rest. A sink of the log reader (see reader.h).
class Rows {
  public:
    // A tail, in tails_: where, and how long.
    struct Tail {
        size_t begin = 0, size = 0;
    };

    Rows(Output& out, const EventNames& names, bool all) : out_(out), names_(names), all_(all) {}

    using Value = Tail;
    Tail value_of(const Record& r) {
        return write_tail(tails_, r);
    }
    template <class Run> bool events(Run& run) {
        if (run.new_stretch())
            tails_.clear();
        set_session(run.session());
        run.each([this](const Tail& tail, int64_t micros, uint64_t) {
            put_row(tails_.data() + tail.begin, tail.size, micros);
        });
        out_.maybe_flush();
        return !out_.failed();
    }
    // A load or control line (written with --all), or an event read by itself.
    bool record(const Record& r, const Place& place) {
        if (!all_ && !is_event(r.kind))
            return true;
        set_session(place.session);
        single_.clear();
        Tail tail = write_tail(single_, r);
        put_row(single_.data(), tail.size, r.micros);
        out_.maybe_flush();
        return !out_.failed();
    }

  private:
    // Each tail is followed by this many bytes, so that it can be read in
    // sixteens.
    static constexpr size_t padding = 16;

    void set_session(uint64_t session) {
        if (session != session_) {
            session_ = session;
            char* end =
                std::to_chars(session_text_, session_text_ + sizeof session_text_, session_).ptr;
            *end++ = ',';
            session_size_ = static_cast<size_t>(end - session_text_);
        }
    }

    Tail write_tail(std::string& to, const Record& r) {
        Tail tail{to.size(), 0};
        append_tail(to, r, names_);
        tail.size = to.size() - tail.begin;
        to.append(padding, '\0');
        return tail;
    }

    void put_row(const char* text, size_t size, int64_t micros) {
        if (size > Output::largest_room / 2) {
            out_.put(std::string_view(session_text_, session_size_));
            out_.put_time(micros);
            out_.put(std::string_view(text, size));
            return;
        }
        // Copied sixteen bytes at a time, past the row's end into room that
        // the next row overwrites.
        char* p = out_.room(sizeof session_text_ + max_time_chars + size + padding);
        std::memcpy(p, session_text_, sizeof session_text_);
        p += session_size_;
        p += times_.write(p, micros);
        for (size_t i = 0; i < size; i += padding)
            std::memcpy(p + i, text + i, padding);
        out_.wrote(p + size);
    }

    Output& out_;
    const EventNames& names_;
    bool all_;
    uint64_t session_ = 0;
    char session_text_[24] = "0,";
    size_t session_size_ = 2;
    std::string tails_;  // of the stretch being read
    std::string single_; // of a record read by itself
    TimeWriter times_;
};

} // namespace

int run_csv(const std::string& file, const Options& options) {
    EventNames names;
    Input input;
    Output output;
    if (!open_log(options.names, names, input, file) || !output.open_file(options.output, input))
        return 2;
    output.put("session,time,kind,id,name,data\r\n");
    LogReader reader(input.file(), input.name(), options.strict);
    Rows rows(output, names, options.all);
    if (!reader.read(rows))
        return output.close(0);
    if (int status = end_of_input(reader, output))
        return status;
    return output.close(0);
}

} // namespace kwlog
