// Reading a log line by line and record by record (see reader.h).
#include "reader.h"

#include <cerrno>
#include <cstring>

namespace kwlog {

// ---- Lines ---------------------------------------------------------------------

LineReader::LineReader(std::FILE* file, size_t buffer_size)
    : file_(file), buffer_(new char[buffer_size]), size_(buffer_size) {}

// Moves the unfinished line to the front and reads more after it. False at
// the end of the stream, on a read error, or when the buffer is full.
bool LineReader::fill() {
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        scanned_ -= begin_;
        begin_ = 0;
    }
    if (eof_ || end_ == size_)
        return false;
    size_t got = std::fread(buffer_.get() + end_, 1, size_ - end_, file_);
    if (got == 0) {
        // Once at the end, never read again: a terminal would wait for more.
        eof_ = true;
        if (std::ferror(file_))
            error_ = errno != 0 ? errno : EIO;
        return false;
    }
    end_ += got;
    return true;
}

bool LineReader::next(Line& line) {
    for (;;) {
        const char* start = buffer_.get() + begin_;
        const auto* lf =
            static_cast<const char*>(std::memchr(buffer_.get() + scanned_, '\n', end_ - scanned_));
        if (lf != nullptr) {
            size_t length = static_cast<size_t>(lf - start);
            begin_ = scanned_ = begin_ + length + 1;
            offset_ += length + 1;
            if (length > 0 && start[length - 1] == '\r')
                --length;
            line = Line{std::string_view(start, length), ++lines_, false, true};
            return true;
        }
        scanned_ = end_;
        if (end_ - begin_ == size_)
            return skip_overlong(line);
        if (!fill()) {
            if (error_ != 0 || begin_ == end_)
                return false;
            // The last line, with no line end.
            const char* last = buffer_.get() + begin_;
            size_t length = end_ - begin_;
            offset_ += length;
            begin_ = scanned_ = end_;
            if (last[length - 1] == '\r')
                --length;
            line = Line{std::string_view(last, length), ++lines_, false, false};
            return true;
        }
    }
}

// A line that fills the whole buffer: read on to its end, keeping nothing.
bool LineReader::skip_overlong(Line& line) {
    line = Line{{}, ++lines_, true, false};
    for (;;) {
        offset_ += end_ - begin_;
        begin_ = scanned_ = end_ = 0;
        if (!fill())
            return error_ == 0;
        const auto* lf = static_cast<const char*>(std::memchr(buffer_.get(), '\n', end_));
        if (lf != nullptr) {
            size_t length = static_cast<size_t>(lf - buffer_.get()) + 1;
            offset_ += length;
            begin_ = scanned_ = length;
            line.ended = true;
            return true;
        }
    }
}

// ---- Reports by line -----------------------------------------------------------

void LineNotes::add(uint64_t line, const std::string& message) {
    if (++count_ <= shown)
        std::fprintf(stderr, "%s:%llu: %s\n", file_.c_str(), static_cast<unsigned long long>(line),
                     message.c_str());
}

void LineNotes::finish() const {
    if (count_ > shown)
        std::fprintf(stderr, "%s: %llu %s\n", file_.c_str(),
                     static_cast<unsigned long long>(count_), in_all_);
}

// ---- Sessions ------------------------------------------------------------------

bool SessionSplitter::begins_session(const Record& record) {
    bool begins = number_ == 0 || record.kind == Kind::aircraft_loaded ||
                  record.kind == Kind::gauge_refreshed ||
                  (record.kind == Kind::gauge_loaded && !after_aircraft_loaded_);
    after_aircraft_loaded_ = record.kind == Kind::aircraft_loaded;
    if (begins)
        ++number_;
    return begins;
}

// ---- Records -------------------------------------------------------------------

LogReader::LogReader(std::FILE* file, const std::string& name, bool strict)
    : lines_reader_(file), name_(name), strict_(strict),
      bad_(name, "lines in all were not keywatch records"),
      backwards_(name, "times in all went back") {}

bool LogReader::next(Record& record) {
    if (stopped_)
        return false;
    Line line;
    while (lines_reader_.next(line)) {
        lines_ = line.number;
        if (line.text.empty() && !line.overlong)
            continue;
        if (line.overlong || !parse_record(line.text, record)) {
            bad_.add(line.number, line.overlong ? "not a keywatch record (a line of over 1 MiB)"
                                                : "not a keywatch record");
            if (strict_) {
                stopped_ = true;
                return false;
            }
            continue;
        }
        ++records_;
        line_number_ = line.number;
        began_session_ = sessions_.begins_session(record);
        went_back_ = !began_session_ && record.micros < previous_time_;
        if (went_back_)
            backwards_.add(line.number, "time goes back from " + time_text(previous_time_) +
                                            " to " + time_text(record.micros));
        previous_time_ = record.micros;
        return true;
    }
    return false;
}

int LogReader::finish() {
    if (lines_reader_.error() != 0) {
        std::fprintf(stderr, "keywatch-log: cannot read %s: %s\n", name_.c_str(),
                     std::strerror(lines_reader_.error()));
        return 2;
    }
    if (stopped_)
        return 1;
    bad_.finish();
    backwards_.finish();
    if (records_ == 0 && lines_reader_.offset() > 0) {
        std::fprintf(stderr,
                     "keywatch-log: %s holds no keywatch record; is it a Key_Events_Sent.log?\n",
                     name_.c_str());
        return 1;
    }
    return 0;
}

} // namespace kwlog
