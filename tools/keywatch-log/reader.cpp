// Reading a log record by record, or into a sink (see reader.h).
//
// Parsing a line costs more than reading it, so a file is read a block of
// whole lines at a time into one of a few slots, and each block is parsed by
// whichever thread is free: a second thread, or the reader's own while the
// block it needs next is not ready. Blocks are handed out strictly in order,
// so sessions, messages and line numbers come out as from one pass. Reading
// stays in order too: a block is read only under the lock.
#include "reader.h"
#include "files.h"

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#endif
#include <sys/stat.h>

namespace kwlog {

// ---- Reports by line -----------------------------------------------------------

void LineNotes::add(uint64_t line, std::string_view message) {
    if (++count_ <= shown)
        note("%s:%llu: %.*s", file_.c_str(), static_cast<unsigned long long>(line),
             static_cast<int>(message.size()), message.data());
}

void LineNotes::finish() const {
    if (count_ > shown)
        note("%s: %llu %s", file_.c_str(), static_cast<unsigned long long>(count_), in_all_);
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

// ---- Blocks parsed ahead ---------------------------------------------------------

namespace {

bool worth_a_thread(std::FILE* file) {
    // Standard input or a pipe may have to be waited for; only a file on
    // disk is read ahead.
#ifdef _WIN32
    struct _stat64 st;
    if (_fstat64(_fileno(file), &st) != 0 || (st.st_mode & _S_IFREG) == 0)
        return false;
#else
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
#endif
    return std::thread::hardware_concurrency() >= 2;
}

} // namespace

struct LogReader::Slot {
    enum class State { free, reading, parsing, parsed };
    State state = State::free;
    uint64_t sequence = 0;
    Block block;
    BlockParser parsed;

    void parse() {
        parsed.parse(block);
    }
};

struct LogReader::Work {
    explicit Work(std::FILE* file) : blocks(file) {}

    BlockReader blocks;
    std::array<Slot, 4> slots;
    // Guards the slots' states and the flags below.
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;    // the stream has no more (or failed)
    bool stopping = false; // the reader is going away
    // Guards the stream and `taken`: blocks are read one at a time, in
    // order, but without `mutex`, so that a block parsed meanwhile can be
    // handed out.
    std::mutex reading;
    uint64_t taken = 0; // blocks read so far, the next one's sequence number
    bool exhausted = false;
    std::thread helper;

    // With `lock` held: a free slot with the next block read into it, or
    // none (no slot free, or no more blocks). The lock is let go during the
    // read.
    Slot* take(std::unique_lock<std::mutex>& lock) {
        if (ended)
            return nullptr;
        Slot* slot = nullptr;
        for (Slot& candidate : slots)
            if (candidate.state == Slot::State::free) {
                slot = &candidate;
                break;
            }
        if (slot == nullptr)
            return nullptr;
        slot->state = Slot::State::reading;
        lock.unlock();
        bool got = false;
        uint64_t sequence = 0;
        {
            std::lock_guard<std::mutex> order(reading);
            got = !exhausted && blocks.next(slot->block);
            exhausted = !got;
            sequence = taken++;
        }
        lock.lock();
        if (!got) {
            slot->state = Slot::State::free;
            ended = true;
            changed.notify_all();
            return nullptr;
        }
        slot->state = Slot::State::parsing;
        slot->sequence = sequence;
        return slot;
    }

    void parse(std::unique_lock<std::mutex>& lock, Slot& slot) {
        lock.unlock();
        slot.parse();
        lock.lock();
        slot.state = Slot::State::parsed;
        changed.notify_all();
    }

    void help() {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stopping && !ended) {
            if (Slot* slot = take(lock))
                parse(lock, *slot);
            else if (!ended && !stopping)
                changed.wait(lock);
        }
    }

    int error() {
        std::lock_guard<std::mutex> order(reading);
        return blocks.error();
    }

    ~Work() {
        if (helper.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                stopping = true;
            }
            changed.notify_all();
            helper.join();
        }
    }
};

LogReader::LogReader(std::FILE* file, const std::string& name, bool strict)
    : work_(new Work(file)), name_(name), strict_(strict),
      bad_(name, "lines in all were not keywatch records"),
      backwards_(name, "times in all went back") {
    if (worth_a_thread(file)) {
        try {
            work_->helper = std::thread([work = work_.get()] { work->help(); });
        } catch (const std::system_error&) {
            // No second thread: this one parses every block.
        }
    }
}

LogReader::~LogReader() = default;

// Moves on to the next block in order, parsing blocks itself while that one
// is not ready.
bool LogReader::next_block() {
    Work& work = *work_;
    std::unique_lock<std::mutex> lock(work.mutex);
    if (block_ != nullptr) {
        lines_ += block_->parsed.lines();
        bytes_read_ += block_->block.length;
        block_->state = Slot::State::free;
        block_ = nullptr;
        items_ = {};
        breaks_ = {};
        keys_ = {};
        ++wanted_;
        work.changed.notify_all();
    }
    for (;;) {
        bool pending = false;
        for (Slot& slot : work.slots) {
            if (slot.state == Slot::State::reading) {
                pending = true; // it may be the one
                continue;
            }
            if (slot.state == Slot::State::free || slot.sequence != wanted_)
                continue;
            if (slot.state == Slot::State::parsed) {
                block_ = &slot;
                items_ = slot.parsed.items();
                breaks_ = slot.parsed.breaks();
                break_ = 0;
                keys_ = slot.parsed.keys();
                bytes_ = slot.block.bytes.get();
                item_ = 0;
                return true;
            }
            pending = true;
        }
        // Not ready: parse one ahead meanwhile, if a slot is free.
        bool ended = work.ended;
        if (Slot* slot = work.take(lock)) {
            work.parse(lock, *slot);
            continue;
        }
        if (work.ended != ended)
            continue; // it met the end, with the lock let go: what was seen is old
        if (!pending && work.ended)
            return false;
        work.changed.wait(lock);
    }
}

bool LogReader::next(Record& record) {
    if (stopped_ || done_)
        return false;
    for (;;) {
        if (item_ == items_.size()) {
            if (!next_block()) {
                done_ = true;
                return false;
            }
            continue;
        }
        const Item& item = items_[item_++];
        uint64_t line = lines_ + item.line + 1;
        if (item.key >= Item::overlong) {
            bool overlong = item.key == Item::overlong;
            for (int64_t n = overlong ? 1 : item.micros; n > 0; --n)
                bad_.add(line, overlong ? "not a keywatch record (a line of over 1 MiB)"
                                        : "not a keywatch record");
            if (strict_) {
                stopped_ = true;
                lines_ = line;
                return false;
            }
            continue;
        }
        key_record(item.key, record);
        record.micros = item.micros;
        ++records_;
        place_.line = line;
        place_.began_session = sessions_.begins_session(record);
        place_.session = sessions_.number();
        place_.went_back = !place_.began_session && record.micros < previous_time_;
        place_.bad_lines = bad_.count();
        if (place_.went_back)
            backwards_.add(line, "time goes back from " + time_text(previous_time_) + " to " +
                                     time_text(record.micros));
        previous_time_ = record.micros;
        return true;
    }
}

std::span<const Item> LogReader::next_events() {
    if (stopped_ || done_ || sessions_.number() == 0 || item_ == items_.size())
        return {};
    const Item& first = items_[item_];
    if (!first.event || first.micros < previous_time_)
        return {};
    while (breaks_[break_] <= item_)
        ++break_;
    size_t run = breaks_[break_] - item_;
    std::span<const Item> events = items_.subspan(item_, run);
    item_ += run;
    previous_time_ = events.back().micros;
    records_ += run;
    place_.line = lines_ + events.back().line + 1;
    place_.began_session = place_.went_back = false;
    sessions_.passed_event();
    return events;
}

int LogReader::finish() {
    if (block_ != nullptr && !stopped_) {
        lines_ += block_->parsed.lines();
        bytes_read_ += block_->block.length;
        block_ = nullptr;
    }
    int error = work_->error();
    if (error != 0) {
        complain("cannot read %s: %s", name_.c_str(), std::strerror(error));
        return 2;
    }
    if (stopped_)
        return 1;
    bad_.finish();
    backwards_.finish();
    if (records_ == 0 && bytes_read_ > 0) {
        complain("%s holds no keywatch record; is it a " LOG_FILE_NAME "?", name_.c_str());
        return 1;
    }
    return 0;
}

} // namespace kwlog
