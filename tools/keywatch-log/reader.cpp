// Reading a log record by record (see reader.h).
//
// Parsing a line costs more than reading it, so a file is read a block of
// whole lines at a time into one of a few slots, and each block is parsed by
// whichever thread is free: a second thread, or the reader's own while the
// block it needs next is not ready. Blocks are handed out strictly in order,
// so sessions, messages and line numbers come out as from one pass. Reading
// stays in order too: a block is read only under the lock.
#include "reader.h"

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#ifdef _WIN32
#include <io.h>
#endif
#include <sys/stat.h>

namespace kwlog {

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

// ---- Blocks parsed ahead ---------------------------------------------------------

namespace {

// What one line of a block holds, as parsed. Empty lines have none.
struct Item {
    enum Status : uint8_t { record, bad, overlong };
    int64_t micros;
    int32_t id, data;
    uint32_t begin, size; // an event's name; any other record's whole line
    uint32_t line;        // within the block, from 0
    Status status;
    Kind kind;
};
static_assert(std::is_trivially_default_constructible_v<Item> && sizeof(Item) <= 32);

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
    enum class State { free, parsing, parsed };
    State state = State::free;
    uint64_t sequence = 0;
    uint64_t lines = 0;
    Block block;
    std::vector<Item> items;
    RecordCache cache;

    void parse() {
        items.clear();
        lines = 0;
        if (block.overlong) {
            Item& item = items.emplace_back();
            item.status = Item::overlong;
            item.line = 0;
            lines = 1;
            return;
        }
        const char* bytes = block.bytes.get();
        Record r;
        for_each_line(bytes, block.size, [&](size_t begin, size_t end) {
            auto line = static_cast<uint32_t>(lines++);
            if (end > begin && bytes[end - 1] == '\r')
                --end;
            if (end == begin)
                return;
            // Filled in place: an Item built aside and copied in stalled
            // the loop (a wide load of narrow stores) as long as the parse.
            Item& item = items.emplace_back();
            item.line = line;
            if (!cache.parse(std::string_view(bytes + begin, end - begin), r)) {
                item.status = Item::bad;
                return;
            }
            item.status = Item::record;
            item.kind = r.kind;
            item.micros = r.micros;
            if (is_event(r.kind)) {
                item.id = r.id;
                item.data = r.data;
                item.begin = static_cast<uint32_t>(r.name.data() - bytes);
                item.size = static_cast<uint32_t>(r.name.size());
            } else {
                item.begin = static_cast<uint32_t>(begin);
                item.size = static_cast<uint32_t>(end - begin);
            }
        });
    }
};

struct LogReader::Work {
    explicit Work(std::FILE* file) : blocks(file) {}

    BlockReader blocks;
    std::array<Slot, 4> slots;
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t taken = 0;    // blocks read so far, the next one's sequence number
    bool ended = false;    // the stream has no more (or failed)
    bool stopping = false; // the reader is going away
    std::thread helper;

    // With the lock held: a free slot with the next block read into it, or
    // none (no slot free, or no more blocks).
    Slot* take() {
        if (ended)
            return nullptr;
        for (Slot& slot : slots) {
            if (slot.state != Slot::State::free)
                continue;
            if (!blocks.next(slot.block)) {
                ended = true;
                return nullptr;
            }
            slot.state = Slot::State::parsing;
            slot.sequence = taken++;
            return &slot;
        }
        return nullptr;
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
            if (Slot* slot = take())
                parse(lock, *slot);
            else if (!ended)
                changed.wait(lock);
        }
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
        lines_ += block_->lines;
        bytes_ += block_->block.length;
        block_->state = Slot::State::free;
        block_ = nullptr;
        ++wanted_;
        work.changed.notify_all();
    }
    for (;;) {
        bool pending = false;
        for (Slot& slot : work.slots) {
            if (slot.state == Slot::State::free || slot.sequence != wanted_)
                continue;
            if (slot.state == Slot::State::parsed) {
                block_ = &slot;
                item_ = 0;
                return true;
            }
            pending = true;
        }
        // Not ready: parse one ahead meanwhile, if a slot is free.
        if (Slot* slot = work.take()) {
            work.parse(lock, *slot);
            continue;
        }
        if (!pending && work.ended)
            return false;
        work.changed.wait(lock);
    }
}

bool LogReader::next(Record& record) {
    if (stopped_ || done_)
        return false;
    for (;;) {
        if (block_ == nullptr || item_ == block_->items.size()) {
            if (!next_block()) {
                done_ = true;
                return false;
            }
            continue;
        }
        const Item& item = block_->items[item_++];
        uint64_t line = lines_ + item.line + 1;
        if (item.status != Item::record) {
            bad_.add(line, item.status == Item::overlong
                               ? "not a keywatch record (a line of over 1 MiB)"
                               : "not a keywatch record");
            if (strict_) {
                stopped_ = true;
                lines_ = line;
                return false;
            }
            continue;
        }
        const char* bytes = block_->block.bytes.get();
        if (is_event(item.kind)) {
            record.kind = item.kind;
            record.micros = item.micros;
            record.id = item.id;
            record.data = item.data;
            record.name = std::string_view(bytes + item.begin, item.size);
        } else {
            // Load and control lines are few: parsed again for their texts.
            parse_record(std::string_view(bytes + item.begin, item.size), record);
        }
        ++records_;
        line_number_ = line;
        began_session_ = sessions_.begins_session(record);
        went_back_ = !began_session_ && record.micros < previous_time_;
        if (went_back_)
            backwards_.add(line, "time goes back from " + time_text(previous_time_) + " to " +
                                     time_text(record.micros));
        previous_time_ = record.micros;
        return true;
    }
}

int LogReader::finish() {
    if (block_ != nullptr && !stopped_) {
        lines_ += block_->lines;
        bytes_ += block_->block.length;
        block_ = nullptr;
    }
    int error = work_->blocks.error();
    if (error != 0) {
        std::fprintf(stderr, "keywatch-log: cannot read %s: %s\n", name_.c_str(),
                     std::strerror(error));
        return 2;
    }
    if (stopped_)
        return 1;
    bad_.finish();
    backwards_.finish();
    if (records_ == 0 && bytes_ > 0) {
        std::fprintf(stderr,
                     "keywatch-log: %s holds no keywatch record; is it a Key_Events_Sent.log?\n",
                     name_.c_str());
        return 1;
    }
    return 0;
}

} // namespace kwlog
