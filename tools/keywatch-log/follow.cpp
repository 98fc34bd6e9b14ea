// keywatch-log follow: polls the log and prints each new record as it is
// appended. The file is opened afresh at every poll, so the simulator can
// truncate it (Reset) or create it at any time. A truncation shows as a file
// shorter than what was read, or as a different beginning; reading then starts
// again at the new beginning.
#include "commands.h"
#include "records.h"

#include <cerrno>
#include <chrono>
#include <cstring>
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

class Follower {
  public:
    Follower(const std::string& file, const FollowOptions& options)
        : file_(file), options_(options) {}

    int run() {
        bool first = true;
        for (;;) {
            std::FILE* f = std::fopen(file_.c_str(), "rb");
            if (f == nullptr) {
                if (errno != ENOENT) {
                    std::fprintf(stderr, "keywatch-log: cannot open %s: %s\n", file_.c_str(),
                                 std::strerror(errno));
                    return 2;
                }
                if (!waiting_) {
                    std::fprintf(stderr, "keywatch-log: waiting for %s to appear\n", file_.c_str());
                    waiting_ = true;
                }
                // Gone (or not there yet): whatever comes next is a new file.
                restart();
                first = false;
            } else {
                waiting_ = false;
                bool ok = poll(f, first);
                std::fclose(f);
                if (!ok) {
                    std::fprintf(stderr, "keywatch-log: cannot read %s: %s\n", file_.c_str(),
                                 std::strerror(errno));
                    return 2;
                }
                first = false;
            }
            std::fflush(stdout);
            // A last line waiting to be seen unchanged is looked at again sooner.
            bool pending = !line_.empty() && !tail_shown_;
            std::this_thread::sleep_for(
                std::chrono::milliseconds(pending ? options_.poll_ms / 4 : options_.poll_ms));
        }
    }

  private:
    static constexpr size_t head_size = 256;

    void restart() {
        offset_ = 0;
        head_.clear();
        line_.clear();
        tail_seen_.clear();
        tail_shown_ = false;
    }

    bool poll(std::FILE* f, bool first) {
        int64_t size = file_size(f);
        if (size < 0)
            return false;
        if (first && !options_.from_start) {
            // Only what is appended from now on; the last line is complete
            // (records begin with their line end).
            if (!read_head(f, size))
                return false;
            offset_ = size;
            return true;
        }
        bool truncated = size < offset_;
        if (!truncated && !head_.empty()) {
            std::string now;
            if (!read_bytes(f, 0, static_cast<int64_t>(head_.size()), now))
                return false;
            truncated = now != head_;
        }
        if (truncated) {
            std::fprintf(stderr,
                         "keywatch-log: %s was truncated (a Reset?); reading it again "
                         "from the start\n",
                         file_.c_str());
            restart();
        }
        if (size > offset_) {
            std::string chunk;
            if (!read_bytes(f, offset_, size - offset_, chunk))
                return false;
            if (head_.size() < head_size)
                head_ += std::string_view(chunk).substr(0, head_size - head_.size());
            offset_ += static_cast<int64_t>(chunk.size());
            take(chunk);
        }
        // A last line with no line end yet is shown once it parses and has
        // stayed the same over one poll: the module writes each record whole,
        // and a line cut short by a buffer flush is completed within moments.
        if (!line_.empty() && !tail_shown_ && line_ == tail_seen_) {
            Record r;
            std::string_view text = without_cr(line_);
            if (parse_record(text, r)) {
                show(text, r);
                tail_shown_ = true;
                shown_tail_ = std::string(text);
            }
        }
        tail_seen_ = line_;
        return true;
    }

    bool read_head(std::FILE* f, int64_t size) {
        return read_bytes(f, 0, std::min<int64_t>(size, head_size), head_);
    }

    static bool read_bytes(std::FILE* f, int64_t offset, int64_t count, std::string& out) {
        out.assign(static_cast<size_t>(count), '\0');
        if (!seek_to(f, offset))
            return false;
        size_t got = std::fread(out.data(), 1, out.size(), f);
        out.resize(got);
        return !std::ferror(f);
    }

    static std::string_view without_cr(std::string_view s) {
        if (!s.empty() && s.back() == '\r')
            s.remove_suffix(1);
        return s;
    }

    // Splits new bytes into lines; the piece after the last LF stays pending.
    void take(std::string_view chunk) {
        for (;;) {
            size_t lf = chunk.find('\n');
            if (lf == std::string_view::npos) {
                line_.append(chunk);
                return;
            }
            line_.append(chunk.substr(0, lf));
            chunk.remove_prefix(lf + 1);
            complete(line_);
            line_.clear();
        }
    }

    void complete(const std::string& raw) {
        bool was_shown = tail_shown_ && without_cr(raw) == shown_tail_;
        tail_shown_ = false;
        tail_seen_.clear();
        if (was_shown)
            return;
        std::string_view text = without_cr(raw);
        if (text.empty())
            return;
        Record r;
        if (!parse_record(text, r)) {
            std::fprintf(stderr, "keywatch-log: %s: not a keywatch record: %.*s\n", file_.c_str(),
                         static_cast<int>(std::min<size_t>(text.size(), 80)), text.data());
            return;
        }
        show(text, r);
    }

    // Events pass the name patterns; load and control lines always show.
    void show(std::string_view text, const Record& r) {
        if (is_event(r.kind)) {
            std::string name(r.name);
            if (options_.only && !std::regex_search(name, *options_.only))
                return;
            if (options_.hide && std::regex_search(name, *options_.hide))
                return;
        }
        if (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    }

    const std::string& file_;
    const FollowOptions& options_;
    int64_t offset_ = 0;
    std::string head_, line_, tail_seen_, shown_tail_;
    bool tail_shown_ = false, waiting_ = false;
};

} // namespace

int run_follow(const std::string& file, const FollowOptions& options) {
    return Follower(file, options).run();
}

} // namespace kwlog
