// keywatch-log follow: polls the log and prints each new record as it is
// appended. The file is opened afresh at every poll, so the simulator can
// truncate it (Reset) or create it at any time. A truncation shows as a file
// shorter than what was read, or as a different beginning; reading then starts
// again at the new beginning.
//
// The module begins each record with its line end, so the last record in the
// file has none yet. It is shown as soon as it parses, without a line end;
// should more of it arrive (a buffer flush can cut a record anywhere), that is
// written after it, and the line end comes when the line's end does. The last
// line of a file found already there is read again from its start at the next
// poll: if more of it has come, it was a record cut short, shown whole.
#include "commands.h"
#include "files.h"
#include "lines.h"
#include "records.h"

#include <cerrno>
#include <chrono>
#include <thread>

namespace kwlog {
namespace {

int64_t file_size(std::FILE* f) {
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0)
        return -1;
    return _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0)
        return -1;
    return ftello(f);
#endif
}

bool seek_to(std::FILE* f, int64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, offset, SEEK_SET) == 0;
#else
    return fseeko(f, offset, SEEK_SET) == 0;
#endif
}

bool read_bytes(std::FILE* f, int64_t offset, size_t count, std::string& out) {
    out.assign(count, '\0');
    if (!seek_to(f, offset))
        return false;
    out.resize(std::fread(out.data(), 1, out.size(), f));
    return !std::ferror(f);
}

// A pipe or a device would block the open, or never end; a folder is no
// log. Said, and false, for anything there that is not a regular file.
bool regular_or_none(const std::string& file) {
    if (!file_exists(file) || is_file(file))
        return true;
    complain("cannot follow %s: it is not a regular file; follow watches a log file as it grows",
             file.c_str());
    return false;
}

class Follower {
  public:
    Follower(const std::string& file, const Options& options, const EventNames& names, Output& out)
        : file_(file), options_(options), names_(names), out_(out) {}

    int run() {
        bool first = true;
        for (;;) {
            Input input;
            if (!regular_or_none(file_))
                return out_.close(2);
            if (!input.open(file_, false)) {
                if (input.error() != ENOENT) {
                    complain("cannot open %s: %s", file_.c_str(), std::strerror(input.error()));
                    return out_.close(2);
                }
                if (!waiting_) {
                    complain("waiting for %s to appear", file_.c_str());
                    waiting_ = true;
                }
                // Gone (or not there yet): whatever comes next is a new file.
                restart();
            } else {
                waiting_ = false;
                if (!poll(input.file(), first)) {
                    complain("cannot read %s: %s", file_.c_str(), std::strerror(read_error_));
                    return out_.close(2);
                }
            }
            first = false;
            if (!out_.flush() || out_.reader_gone())
                return out_.close(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(options_.poll_ms));
        }
    }

  private:
    static constexpr size_t head_size = 256;
    enum class Part { none, shown, hidden }; // of a line begun but not ended

    void restart() {
        end_line();
        offset_ = 0;
        old_end_ = -1;
        head_.clear();
        skipping_ = false;
    }

    // Ends a line shown in part whose end will not come.
    void end_line() {
        if (in_line_ == Part::shown)
            out_.put('\n');
        in_line_ = Part::none;
    }

    // False on a read error, with read_error_ set.
    bool poll(std::FILE* f, bool first) {
        errno = 0;
        if (read_new(f, first))
            return true;
        read_error_ = errno != 0 ? errno : EIO;
        return false;
    }

    bool read_new(std::FILE* f, bool first) {
        int64_t size = file_size(f);
        if (size < 0)
            return false;
        if (first && !options_.from_start) {
            // Only what is appended from now on, and the last line if more
            // of it comes.
            offset_ = size;
            return start_at_last_line(f, size) && read_head(f, size);
        }
        bool truncated = size < offset_;
        if (!truncated && !head_.empty()) {
            std::string now;
            if (!read_bytes(f, 0, head_.size(), now))
                return false;
            truncated = now != head_;
        }
        if (truncated) {
            complain("%s was truncated (a Reset?); reading it again from the start", file_.c_str());
            restart();
        }
        if (size <= offset_)
            return true;
        if (head_.size() < head_size && !read_head(f, size))
            return false;
        if (!seek_to(f, offset_))
            return false;
        LineReader reader(f);
        int64_t base = offset_;
        Line line;
        for (uint64_t before = 0; reader.next(line); before = reader.offset()) {
            offset_ = base + static_cast<int64_t>(reader.offset());
            if (old_end_ >= 0) {
                // The last line as it was at the start: passed over unless
                // more of it has come since.
                bool grew = base + static_cast<int64_t>(line.text.size()) > old_end_;
                if (!grew && !line.ended) {
                    offset_ = base;
                    break;
                }
                old_end_ = -1;
                if (!grew)
                    continue;
            }
            if (skipping_) {
                // The rest of a line too long to be a record.
                skipping_ = !line.ended;
            } else if (line.overlong) {
                end_line();
                complain("%s: not a keywatch record: a line of over 1 MiB", file_.c_str());
                skipping_ = !line.ended;
            } else if (in_line_ != Part::none) {
                // The rest of the line shown (or hidden) at an earlier poll.
                if (in_line_ == Part::shown)
                    out_.put(line.text);
                if (line.ended)
                    end_line();
                else
                    offset_ = base + static_cast<int64_t>(before + line.text.size());
            } else if (line.ended) {
                complete(line.text);
            } else {
                // The last line, its end not written yet: shown once it parses;
                // until then, read again at the next poll. A CR at its end may
                // be the line end's: it is read again too.
                Record r;
                if (parse_record_quickly(line.text, r)) {
                    in_line_ = passes(r) ? Part::shown : Part::hidden;
                    if (in_line_ == Part::shown)
                        put_record(line.text, r);
                    offset_ = base + static_cast<int64_t>(before + line.text.size());
                } else {
                    offset_ = base + static_cast<int64_t>(before);
                }
            }
            out_.maybe_flush();
        }
        errno = reader.error();
        return errno == 0;
    }

    // Sets the next poll to read from the start of the file's last line:
    // it may be a record the module has only begun to write. A last line
    // longer than a block is no record: its rest is passed over.
    bool start_at_last_line(std::FILE* f, int64_t size) {
        int64_t from = std::max<int64_t>(0, size - static_cast<int64_t>(block_size));
        std::string tail;
        if (!read_bytes(f, from, static_cast<size_t>(size - from), tail))
            return false;
        size_t feed = tail.rfind('\n');
        if (feed == std::string::npos && from > 0) {
            skipping_ = true;
            return true;
        }
        offset_ = from + static_cast<int64_t>(feed == std::string::npos ? 0 : feed + 1);
        old_end_ = size;
        return true;
    }

    bool read_head(std::FILE* f, int64_t size) {
        return read_bytes(f, 0, static_cast<size_t>(std::min<int64_t>(size, head_size)), head_);
    }

    void complete(std::string_view text) {
        if (text.empty())
            return;
        Record r;
        if (!parse_record_quickly(text, r)) {
            complain("%s: not a keywatch record: %.*s", file_.c_str(),
                     static_cast<int>(std::min<size_t>(text.size(), 80)), text.data());
            return;
        }
        if (passes(r)) {
            put_record(text, r);
            out_.put('\n');
        }
    }

    // The record's line without its first blank (records begin with one),
    // an add-on event's name as the names file gives it.
    void put_record(std::string_view text, const Record& r) {
        std::string_view name = is_event(r.kind) ? names_.shown(r.id, r.name) : r.name;
        if (!is_event(r.kind) || name.data() == r.name.data()) {
            out_.put(text.substr(1));
            return;
        }
        size_t begin = static_cast<size_t>(r.name.data() - text.data());
        out_.put(text.substr(1, begin - 1));
        out_.put(name);
        out_.put(text.substr(begin + r.name.size()));
    }

    // Events pass the name patterns; load and control lines always show.
    bool passes(const Record& r) const {
        if (!is_event(r.kind))
            return true;
        std::string_view name = names_.shown(r.id, r.name);
        if (options_.only && !options_.only->matches(name))
            return false;
        return !(options_.hide && options_.hide->matches(name));
    }

    const std::string& file_;
    const Options& options_;
    const EventNames& names_;
    Output& out_;
    int64_t offset_ = 0;   // where the next poll reads from
    int64_t old_end_ = -1; // the file's end at the start, while its last line is read again
    std::string head_;     // the file's first bytes, to see a truncation by
    Part in_line_ = Part::none;
    bool skipping_ = false, waiting_ = false;
    int read_error_ = 0;
};

} // namespace

int run_follow(const std::string& file, const Options& options) {
    if (file == "-") {
        complain("follow watches a file by its name; it cannot follow standard input");
        return 2;
    }
    EventNames names;
    if (!read_names(options.names, names) || !regular_or_none(file))
        return 2;
    Output out;
    Input input;
    input.open(file, false); // when it is there already, it must not be the output
    if (!out.open_stdout(input, true))
        return 2;
    input.close();
    return Follower(file, options, names, out).run();
}

} // namespace kwlog
