#include "records.h"

#include <cstring>

namespace kwlog {

const char* kind_name(Kind kind) {
    switch (kind) {
    case Kind::key:
        return "key";
    case Kind::user:
        return "user";
    case Kind::aircraft_loaded:
        return "aircraft-loaded";
    case Kind::gauge_loaded:
        return "gauge-loaded";
    case Kind::logging_stopped:
        return "logging-stopped";
    case Kind::log_closed:
        return "log-file-closed";
    case Kind::gauge_refreshed:
        return "gauge-refreshed";
    case Kind::aircraft_title:
        return "aircraft-title";
    case Kind::logging_started:
        return "logging-started";
    }
    return "?";
}

namespace {

// A cursor over one line; every take_* consumes on success only.
struct Cursor {
    std::string_view rest;

    bool take(std::string_view text) {
        if (rest.substr(0, text.size()) != text)
            return false;
        rest.remove_prefix(text.size());
        return true;
    }

    // Seconds as the log prints them: digits, a point and (normally six)
    // decimals, optionally negative. Kept as whole microseconds.
    bool take_time(int64_t& micros) {
        size_t i = 0;
        bool negative = i < rest.size() && rest[i] == '-';
        if (negative)
            ++i;
        int64_t whole = 0;
        size_t digits = 0;
        for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i, ++digits) {
            if (whole > (INT64_MAX / 1000000 - 9) / 10)
                return false;
            whole = whole * 10 + (rest[i] - '0');
        }
        if (digits == 0)
            return false;
        int64_t fraction = 0;
        if (i < rest.size() && rest[i] == '.') {
            ++i;
            size_t decimals = 0;
            for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i, ++decimals)
                if (decimals < 6)
                    fraction = fraction * 10 + (rest[i] - '0');
            if (decimals == 0)
                return false;
            for (; decimals < 6; ++decimals)
                fraction *= 10;
        }
        micros = whole * 1000000 + fraction;
        if (negative)
            micros = -micros;
        rest.remove_prefix(i);
        return true;
    }

    // A signed 32-bit decimal number, as %d prints it.
    bool take_int(int32_t& value) {
        size_t i = 0;
        bool negative = i < rest.size() && rest[i] == '-';
        if (negative)
            ++i;
        int64_t v = 0;
        size_t digits = 0;
        for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i, ++digits) {
            v = v * 10 + (rest[i] - '0');
            if (v > 2147483648LL)
                return false;
        }
        if (digits == 0 || (!negative && v > 2147483647LL))
            return false;
        value = static_cast<int32_t>(negative ? -v : v);
        rest.remove_prefix(i);
        return true;
    }

    // The text up to the last occurrence of `before`, which is consumed too.
    // Texts are written byte for byte, so they may hold the separator
    // themselves; the last one is the record's own.
    bool take_until_last(std::string_view before, std::string_view& text) {
        size_t at = rest.rfind(before);
        if (at == std::string_view::npos)
            return false;
        text = rest.substr(0, at);
        rest.remove_prefix(at + before.size());
        return true;
    }
};

// Title, type and model, separated as given; the model runs to the line's end.
bool take_aircraft(Cursor& c, std::string_view type_label, std::string_view model_label,
                   Record& out) {
    std::string_view tail;
    if (!c.take_until_last(model_label, tail))
        return false;
    out.model = c.rest;
    Cursor front{tail};
    if (!front.take_until_last(type_label, out.title))
        return false;
    out.type = front.rest;
    return true;
}

} // namespace

bool parse_record(std::string_view line, Record& out) {
    Cursor c{line};
    if (!c.take(" Time="))
        return false;
    out = Record{};
    if (c.take(" ")) {
        // The spaced formats: "Time= SECONDS WHAT".
        if (!c.take_time(out.micros) || !c.take(" "))
            return false;
        if (c.take("id= ")) {
            out.kind = Kind::user;
            return c.take_int(out.id) && c.take(" event_in= ") &&
                   c.take_until_last(" evdata= ", out.name) && !out.name.empty() &&
                   c.take_int(out.data) && c.rest.empty();
        }
        if (c.take("Gauge Loaded= ")) {
            out.kind = Kind::gauge_loaded;
            out.path = c.rest;
            return true;
        }
        if (c.take("Gauge Refreshed= ")) {
            out.kind = Kind::gauge_refreshed;
            out.path = c.rest;
            return true;
        }
        if (c.take("Aircraft Title= ")) {
            out.kind = Kind::aircraft_title;
            return take_aircraft(c, " Type= ", " Model= ", out);
        }
        if (c.rest == "Logging Stopped") {
            out.kind = Kind::logging_stopped;
            return true;
        }
        if (c.rest == "Logging Started") {
            out.kind = Kind::logging_started;
            return true;
        }
        if (c.rest == "Log File Closed") {
            out.kind = Kind::log_closed;
            return true;
        }
        return false;
    }
    // "Time=SECONDS; WHAT": a key event or the aircraft-loaded line.
    if (!c.take_time(out.micros) || !c.take("; "))
        return false;
    if (c.take("id=")) {
        out.kind = Kind::key;
        return c.take_int(out.id) && c.take("; event_in=") &&
               c.take_until_last("; evdata=", out.name) && !out.name.empty() &&
               c.take_int(out.data) && c.rest.empty();
    }
    if (c.take("Aircraft Loaded Title=")) {
        out.kind = Kind::aircraft_loaded;
        return take_aircraft(c, "; Type=", "; Model=", out);
    }
    return false;
}

int format_time(char* buf, int64_t micros) {
    char* p = buf;
    uint64_t v = static_cast<uint64_t>(micros);
    if (micros < 0) {
        *p++ = '-';
        v = 0 - v;
    }
    uint64_t whole = v / 1000000, fraction = v % 1000000;
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    while (n > 0)
        *p++ = digits[--n];
    *p++ = '.';
    for (int i = 5; i >= 0; --i) {
        p[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    p += 6;
    return static_cast<int>(p - buf);
}

std::string time_text(int64_t micros) {
    char buf[32];
    return std::string(buf, format_time(buf, micros));
}

LineReader::LineReader(std::FILE* file, size_t buffer_size) : file_(file), buffer_(buffer_size) {}

bool LineReader::fill() {
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (eof_ || end_ == buffer_.size())
        return false;
    size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    if (got == 0) {
        eof_ = true;
        failed_ = std::ferror(file_) != 0;
        return false;
    }
    end_ += got;
    return true;
}

bool LineReader::next(std::string_view& line, bool& overlong) {
    overlong = false;
    while (skipping_) {
        // The rest of an overlong line, up to its line end.
        const char* lf =
            static_cast<const char*>(std::memchr(buffer_.data() + begin_, '\n', end_ - begin_));
        if (lf != nullptr) {
            begin_ = static_cast<size_t>(lf - buffer_.data()) + 1;
            skipping_ = false;
        } else {
            begin_ = end_;
            if (!fill())
                done_ = true, skipping_ = false;
        }
    }
    if (done_)
        return false;
    size_t scanned = begin_;
    for (;;) {
        const char* nl =
            static_cast<const char*>(std::memchr(buffer_.data() + scanned, '\n', end_ - scanned));
        if (nl != nullptr) {
            const char* start = buffer_.data() + begin_;
            size_t length = static_cast<size_t>(nl - start);
            begin_ += length + 1;
            if (length > 0 && start[length - 1] == '\r')
                --length;
            line = std::string_view(start, length);
            ++line_number_;
            return true;
        }
        size_t pending = end_ - begin_;
        if (fill()) {
            scanned = pending; // fill() moved the pending bytes to the front
            continue;
        }
        if (failed_) {
            done_ = true;
            return false;
        }
        ++line_number_;
        if (end_ == buffer_.size()) {
            // No line end in a full buffer: hand out what fits, skip the rest.
            line = std::string_view(buffer_.data(), end_);
            overlong = skipping_ = true;
            begin_ = end_;
            return true;
        }
        // The end of the file: the last line, unless the file ended in LF.
        done_ = true;
        if (pending == 0) {
            --line_number_;
            return false;
        }
        size_t length = pending;
        if (buffer_[begin_ + length - 1] == '\r')
            --length;
        line = std::string_view(buffer_.data() + begin_, length);
        begin_ = end_;
        return true;
    }
}

bool SessionSplitter::begins_session(const Record& record) {
    bool begins = number_ == 0 || record.kind == Kind::aircraft_loaded ||
                  record.kind == Kind::gauge_refreshed ||
                  (record.kind == Kind::gauge_loaded && !after_aircraft_loaded_);
    after_aircraft_loaded_ = record.kind == Kind::aircraft_loaded;
    if (begins)
        ++number_;
    return begins;
}

void BadLines::report(uint64_t line_number) {
    ++count_;
    if (count_ <= shown)
        std::fprintf(stderr, "%s:%llu: not a keywatch record\n", file_.c_str(),
                     static_cast<unsigned long long>(line_number));
}

void BadLines::finish() const {
    if (count_ > shown)
        std::fprintf(stderr, "%s: %llu lines in all were not keywatch records\n", file_.c_str(),
                     static_cast<unsigned long long>(count_));
}

bool read_records(LineReader& reader, BadLines& bad, bool strict,
                  const std::function<void(const Record&)>& on_record,
                  const std::function<void()>& on_bad) {
    std::string_view line;
    bool overlong;
    Record record;
    while (reader.next(line, overlong)) {
        if (line.empty() && !overlong)
            continue;
        if (overlong || !parse_record(line, record)) {
            bad.report(reader.line_number());
            if (strict)
                return false;
            if (on_bad)
                on_bad();
            continue;
        }
        on_record(record);
    }
    return true;
}

} // namespace kwlog
