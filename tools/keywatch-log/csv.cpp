// keywatch-log csv: every event line as one RFC 4180 row (CR LF line ends,
// fields quoted when they hold a comma, quote, CR or LF), written through one
// output buffer.
#include "commands.h"
#include "records.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace kwlog {
namespace {

class Output {
  public:
    explicit Output(std::FILE* file) : file_(file) {
        buffer_.reserve(capacity + 4096);
    }
    void put(std::string_view text) {
        buffer_.append(text);
    }
    void put(char c) {
        buffer_.push_back(c);
    }
    void put_int(long long value) {
        char buf[24];
        char* end = buf + sizeof buf;
        char* p = end;
        unsigned long long v = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                         : static_cast<unsigned long long>(value);
        do {
            *--p = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        if (value < 0)
            *--p = '-';
        buffer_.append(p, static_cast<size_t>(end - p));
    }
    void put_time(int64_t micros) {
        char buf[32];
        buffer_.append(buf, static_cast<size_t>(format_time(buf, micros)));
    }
    void put_field(std::string_view text) {
        if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
            buffer_.append(text);
            return;
        }
        buffer_.push_back('"');
        for (char c : text) {
            if (c == '"')
                buffer_.push_back('"');
            buffer_.push_back(c);
        }
        buffer_.push_back('"');
    }
    void end_row() {
        buffer_.append("\r\n");
        if (buffer_.size() >= capacity)
            flush();
    }
    bool flush() {
        if (!buffer_.empty() &&
            std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
            failed_ = true;
        buffer_.clear();
        return !failed_;
    }
    bool failed() const {
        return failed_;
    }

  private:
    static constexpr size_t capacity = 256 * 1024;
    std::FILE* file_;
    std::string buffer_;
    bool failed_ = false;
};

void put_row(Output& out, uint64_t session, const Record& r) {
    out.put_int(static_cast<long long>(session));
    out.put(',');
    out.put_time(r.micros);
    out.put(',');
    out.put(kind_name(r.kind));
    out.put(',');
    if (is_event(r.kind)) {
        out.put_int(r.id);
        out.put(',');
        out.put_field(r.name);
        out.put(',');
        out.put_int(r.data);
    } else {
        // Load and control lines: no id or data; the name column holds the
        // line's text, if it has one.
        out.put(',');
        if (r.kind == Kind::gauge_loaded || r.kind == Kind::gauge_refreshed) {
            out.put_field(r.path);
        } else if (r.kind == Kind::aircraft_loaded || r.kind == Kind::aircraft_title) {
            std::string text = "Title=";
            text.append(r.title)
                .append("; Type=")
                .append(r.type)
                .append("; Model=")
                .append(r.model);
            out.put_field(text);
        }
        out.put(',');
    }
    out.end_row();
}

} // namespace

int run_csv(const std::string& file, const CsvOptions& options) {
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "keywatch-log: cannot open %s: %s\n", file.c_str(),
                     std::strerror(errno));
        return 2;
    }
    std::FILE* to = stdout;
    if (!options.output.empty()) {
        to = std::fopen(options.output.c_str(), "wb");
        if (to == nullptr) {
            std::fprintf(stderr, "keywatch-log: cannot write %s: %s\n", options.output.c_str(),
                         std::strerror(errno));
            std::fclose(in);
            return 2;
        }
    } else {
#ifdef _WIN32
        // The rows end in CR LF already; text mode would make that CR CR LF.
        _setmode(_fileno(stdout), _O_BINARY);
#endif
    }
    int status = 0;
    {
        Output out(to);
        out.put("session,time,kind,id,name,data");
        out.end_row();
        LineReader reader(in);
        BadLines bad(file);
        SessionSplitter splitter;
        const bool whole = read_records(reader, bad, options.strict, [&](const Record& record) {
            splitter.begins_session(record);
            if (options.all || is_event(record.kind))
                put_row(out, splitter.number(), record);
        });
        if (!whole)
            status = 1;
        if (reader.failed()) {
            std::fprintf(stderr, "keywatch-log: cannot read %s: %s\n", file.c_str(),
                         std::strerror(errno));
            status = 2;
        }
        if (status == 0)
            bad.finish();
        if (!out.flush() || std::fflush(to) != 0) {
            std::fprintf(stderr, "keywatch-log: cannot write %s\n",
                         options.output.empty() ? "to standard output" : options.output.c_str());
            status = 2;
        }
    }
    std::fclose(in);
    if (to != stdout && std::fclose(to) != 0 && status == 0) {
        std::fprintf(stderr, "keywatch-log: cannot write %s\n", options.output.c_str());
        status = 2;
    }
    return status;
}

} // namespace kwlog
