// One block of a log's lines parsed into what the log reader hands out: an
// item for each line that is not empty, and a key for each distinct record.
//
// Most lines of a log repeat an earlier one but for the time: the same key
// pressed again, with the same data. Once the time is read, what follows it
// alone decides the record, so lines whose rest is the same share a key, and
// the rest is parsed once per block. Whoever reads the items can work out
// per key, not per line, what a record means to it (its row of counts, its
// CSV text), and reuse that for every line of the key.
#pragma once

#include "lines.h"
#include "records.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace kwlog {

struct Item {
    static constexpr uint32_t bad = UINT32_MAX;          // a line that is no record
    static constexpr uint32_t overlong = UINT32_MAX - 1; // a line longer than a block
    int64_t micros;     // a record's time; for bad lines, how many in a row
    uint32_t key;       // a record's key, or one of the two above
    uint32_t line : 31; // within the block, from 0
    uint32_t event : 1; // the record is an event (key or user-defined)
};

// What the records of one key have in common. Places are offsets into the
// block's bytes.
struct Key {
    Kind kind;
    int32_t id, data;        // events
    uint32_t name, name_end; // events: the name
    uint32_t line,
        line_end; // the first line of the key (load lines are parsed again for their texts)
    uint32_t rest, rest_end; // what follows its time; empty for a key of one line only
};

class BlockParser {
  public:
    void parse(const Block& block);
    std::span<const Item> items() const {
        return {items_.get(), count_};
    }
    // Where runs of events end: the index of each item that is no event or
    // is earlier than the item before it, in order, and last the count of
    // items. An event item and those after it up to the next of these make
    // a run, each no earlier than the one before.
    std::span<const uint32_t> breaks() const {
        return {breaks_.get(), breaks_count_};
    }
    const std::vector<Key>& keys() const {
        return keys_;
    }
    // The lines of the block, empty ones included.
    uint64_t lines() const {
        return lines_;
    }
    // A key's record, its time aside, from the block it was parsed from.
    static void record_of(const Key& key, const char* bytes, Record& out);

  private:
    // Bad lines one after another share an item once a block has this many
    // apart (the reader names no more than the first few), so that a block
    // of garbage does not take an item per line.
    static constexpr uint32_t bad_items_apart = 8;

    size_t read_guessed(const char* bytes, size_t at, size_t size);
    size_t search(const char* bytes, size_t at, size_t size);
    uint32_t add_key(const char* bytes, size_t begin, size_t end, const Record& r, size_t rest);
    void add_bad(uint32_t line);
    void insert_whole(uint32_t key, uint64_t hash);
    void remember_front(const char* rest, uint32_t key);

    void add_item(const Item& item) {
        breaks_[breaks_count_] = static_cast<uint32_t>(count_);
        breaks_count_ += !item.event || item.micros < last_micros_;
        last_micros_ = item.micros;
        items_[count_++] = item;
    }

    std::unique_ptr<Item[]> items_;
    std::unique_ptr<uint32_t[]> breaks_;
    size_t count_ = 0, capacity_ = 0, breaks_count_ = 0;
    int64_t last_micros_ = 0; // of the last item
    std::vector<Key> keys_;
    // Keys by their whole rest, and the last two keys met with each front
    // (the rest's first sixteen bytes), both in open addressing by hash.
    // Keys are held as their number plus one; 0 is none.
    struct Guess {
        uint32_t key = 0;
        uint32_t rest = 0, size = 0; // the key's rest: where, and how long
        uint32_t event = 0;          // the key is an event's
    };
    struct Front {
        uint64_t bytes[2] = {0, 0}; // the front itself; empty while guesses[0] is none
        Guess guesses[2];
    };
    // The slot of this front, or the empty one where it would go.
    static Front* front_slot(Front* fronts, size_t mask, uint64_t first, uint64_t second);
    Front* front_slot(const char* rest) {
        return front_slot(fronts_.data(), fronts_mask_, load8(rest), load8(rest + 8));
    }

    std::vector<uint32_t> whole_;
    std::vector<Front> fronts_;
    size_t fronts_used_ = 0, fronts_mask_ = 0;
    uint64_t lines_ = 0;
    uint32_t bad_items_ = 0;
};

} // namespace kwlog
