// Parsing a block of lines into items and keys (see block_parser.h).
//
// A line is first read as a guess: its time, then the first sixteen bytes
// after the time (the number, for an event) name the last two keys met
// with those bytes, and if one of them is followed in full by the line's
// end, the line is that key's. Finding the line's end costs nothing then,
// and nearly every line of a log is read so. Otherwise the line is found and
// looked up whole, or parsed.
#include "block_parser.h"

#include <algorithm>
#include <cstring>

namespace kwlog {
namespace {

// Keys are found by their rest's first sixteen bytes, so a rest shorter
// than that (a gauge line with an empty path has one) makes a key of its
// line alone.
constexpr size_t shortest_rest = 16;

// The size a block's table of fronts grows to at most (half of it used): a
// log of many distinct lines would otherwise hold megabytes of guesses per
// block.
constexpr size_t most_fronts = 4096;

// The guess reads up to 24 bytes of time and 16 of rest, so it keeps this
// far from the block's end, where the search takes over.
constexpr size_t guess_reach = 64;

// The bytes that tell keys apart (the number's digits, the data's) sit
// high in a little-endian load: folded down before the low bits index.
uint64_t mixed(uint64_t h) {
    h = (h ^ h >> 32) * 0x9E3779B97F4A7C15;
    return h ^ h >> 29;
}

uint64_t hash_front(uint64_t first, uint64_t second) {
    return mixed(first ^ second * 0xC2B2AE3D27D4EB4F);
}

uint64_t hash_whole(const char* rest, size_t size) {
    return mixed(load8(rest) ^ load8(rest + 8) * 0xC2B2AE3D27D4EB4F ^
                 (load8(rest + size - 8) + size) * 0x165667B19E3779F9);
}

// The size of the line end at p, right after a line's text: 1 for LF, 2 for
// CR LF, 0 for neither. A text that ends in CR before a lone LF is not the
// line's text (the CR is the line end's), so that is neither too.
size_t line_end_at(const char* p) {
    if (p[0] == '\r' && p[1] == '\n') // the module's own line end first
        return 2;
    if (p[0] == '\n')
        return p[-1] != '\r' ? 1 : 0;
    return 0;
}

} // namespace

// Inlined: it runs for every line.
inline BlockParser::Front* BlockParser::front_slot(Front* fronts, size_t mask, uint64_t first,
                                                   uint64_t second) {
    size_t at = hash_front(first, second) & mask;
    while (fronts[at].guesses[0].key != 0 &&
           (fronts[at].bytes[0] != first || fronts[at].bytes[1] != second))
        at = (at + 1) & mask;
    return &fronts[at];
}

// Lines read as one of the keys their front names, from `at` on, as long
// as the guesses hold; returns where the first line not so read begins.
// What it changes is kept in locals meanwhile, for the compiler's sake: the
// items it stores could, as far as it knows, change members of any integer
// type.
size_t BlockParser::read_guessed(const char* bytes, size_t at, size_t size) {
    Item* items = items_.get();
    uint32_t* breaks = breaks_.get();
    size_t count = count_, breaks_count = breaks_count_;
    int64_t last_micros = last_micros_;
    auto line = static_cast<uint32_t>(lines_);
    Front* fronts = fronts_.data();
    size_t mask = fronts_mask_;
    SecondsSeen seen;
    while (at + guess_reach <= size) {
        int64_t micros = 0;
        size_t rest = parse_time_quickly(std::string_view(bytes + at, guess_reach), micros, seen);
        if (rest == 0)
            break;
        const char* p = bytes + at + rest;
        const Front& front = *front_slot(fronts, mask, load8(p), load8(p + 8));
        size_t next = 0;
        for (const Guess& guess : front.guesses) {
            if (guess.key == 0)
                break;
            // The front is the same: the bytes after it decide.
            size_t end = at + rest + guess.size;
            if (end + 2 > size || !same_bytes_after16(bytes + guess.rest, p, guess.size))
                continue;
            if (size_t ending = line_end_at(bytes + end)) {
                breaks[breaks_count] = static_cast<uint32_t>(count);
                breaks_count += !guess.event || micros < last_micros;
                last_micros = micros;
                items[count++] = Item{micros, guess.key - 1, line, guess.event};
                next = end + ending;
                break;
            }
        }
        if (next == 0)
            break;
        at = next;
        ++line;
    }
    count_ = count;
    breaks_count_ = breaks_count;
    last_micros_ = last_micros;
    lines_ = line;
    return at;
}

void BlockParser::parse(const Block& block) {
    // Room for every item the block can hold: a record takes at least 31
    // bytes with its line end (" Time= 0.000000 Gauge Loaded= "), a bad line
    // two, and bad lines after the first few share an item up to the next
    // record: at most two items for a record's bytes and a bad line's.
    constexpr size_t bytes_per_two_items = logformat::shortest_line() + 1 + 2;
    size_t most = block.size / (bytes_per_two_items / 2) + bad_items_apart + 8;
    if (most > capacity_) {
        items_.reset(new Item[most]);
        breaks_.reset(new uint32_t[most + 1]);
        capacity_ = most;
    }
    count_ = breaks_count_ = 0;
    last_micros_ = INT64_MIN;
    keys_.clear();
    lines_ = 0;
    bad_items_ = 0;
    if (block.overlong) {
        add_item(Item{0, Item::overlong, 0, false});
        breaks_[breaks_count_++] = 1;
        lines_ = 1;
        return;
    }
    // Sized for the most keys a block has had, and at most half full; the
    // fronts, at 48 bytes each, no more than remember_front() keeps.
    size_t slots = 1024;
    while (slots < 2 * keys_.capacity() && slots < (size_t{1} << 20))
        slots *= 2;
    whole_.assign(slots, 0);
    size_t fronts = std::min(slots, most_fronts);
    fronts_.assign(fronts, Front{});
    fronts_used_ = 0;
    fronts_mask_ = fronts - 1;
    const char* bytes = block.bytes.get();
    size_t size = block.size;
    for (size_t at = 0; at < size;) {
        at = read_guessed(bytes, at, size);
        if (at < size) {
            at = search(bytes, at, size);
            ++lines_;
        }
    }
    breaks_[breaks_count_++] = static_cast<uint32_t>(count_);
}

// The line at `at` found by its line feed, then looked up by its whole rest
// or parsed. Returns where the next line begins.
size_t BlockParser::search(const char* bytes, size_t at, size_t size) {
    const auto* lf = static_cast<const char*>(std::memchr(bytes + at, '\n', size - at));
    size_t end = lf != nullptr ? static_cast<size_t>(lf - bytes) : size;
    size_t next = lf != nullptr ? end + 1 : size;
    if (end > at && bytes[end - 1] == '\r')
        --end;
    if (end == at)
        return next;
    auto line = static_cast<uint32_t>(lines_);
    std::string_view text(bytes + at, end - at);
    int64_t micros = 0;
    size_t rest = parse_time_quickly(text, micros);
    if (rest == 0 || text.size() - rest < shortest_rest) {
        // No time read quickly: the general parser decides, and the key is
        // this line's alone.
        Record r;
        if (parse_record(text, r))
            add_item(Item{r.micros, add_key(bytes, at, end, r, 0), line, is_event(r.kind)});
        else
            add_bad(line);
        return next;
    }
    const char* p = text.data() + rest;
    size_t length = text.size() - rest;
    uint64_t hash = hash_whole(p, length);
    size_t mask = whole_.size() - 1;
    for (size_t slot = hash & mask; whole_[slot] != 0; slot = (slot + 1) & mask) {
        const Key& key = keys_[whole_[slot] - 1];
        if (key.rest_end - key.rest == length && same_bytes(bytes + key.rest, p, length)) {
            add_item(Item{micros, whole_[slot] - 1, line, is_event(key.kind)});
            remember_front(p, whole_[slot]);
            return next;
        }
    }
    Record r;
    if (!parse_record_quickly(text, r)) {
        add_bad(line);
        return next;
    }
    uint32_t key = add_key(bytes, at, end, r, rest);
    add_item(Item{micros, key, line, is_event(r.kind)});
    remember_front(p, key + 1);
    if (keys_.size() * 2 > whole_.size()) {
        // Rebuilt twice the size, from the keys that have a rest.
        whole_.assign(whole_.size() * 2, 0);
        for (uint32_t k = 0; k < keys_.size(); ++k)
            if (keys_[k].rest != keys_[k].rest_end)
                insert_whole(k + 1,
                             hash_whole(bytes + keys_[k].rest, keys_[k].rest_end - keys_[k].rest));
    } else {
        insert_whole(key + 1, hash);
    }
    return next;
}

void BlockParser::insert_whole(uint32_t key, uint64_t hash) {
    size_t mask = whole_.size() - 1;
    size_t slot = hash & mask;
    while (whole_[slot] != 0)
        slot = (slot + 1) & mask;
    whole_[slot] = key;
}

// The key becomes the first guess for its front, the one before it second:
// a setting that goes back and forth between two values is guessed right.
void BlockParser::remember_front(const char* rest, uint32_t key) {
    Front* front = front_slot(rest);
    if (front->guesses[0].key == 0) {
        // The fronts are guesses, a help and not a need: past so many, a
        // block of lines that share none (every one its own key) makes no
        // more of them.
        if ((fronts_used_ + 1) * 2 > fronts_.size() && fronts_.size() >= most_fronts)
            return;
        if (++fronts_used_ * 2 > fronts_.size()) {
            std::vector<Front> old(fronts_.size() * 2);
            old.swap(fronts_);
            fronts_mask_ = fronts_.size() - 1;
            for (const Front& kept : old)
                if (kept.guesses[0].key != 0)
                    *front_slot(fronts_.data(), fronts_mask_, kept.bytes[0], kept.bytes[1]) = kept;
            front = front_slot(rest);
        }
        front->bytes[0] = load8(rest);
        front->bytes[1] = load8(rest + 8);
    }
    if (front->guesses[0].key != key) {
        const Key& k = keys_[key - 1];
        front->guesses[1] = front->guesses[0];
        front->guesses[0] = Guess{key, k.rest, k.rest_end - k.rest, is_event(k.kind)};
    }
}

uint32_t BlockParser::add_key(const char* bytes, size_t begin, size_t end, const Record& r,
                              size_t rest) {
    Key key{};
    key.kind = r.kind;
    key.line = static_cast<uint32_t>(begin);
    key.line_end = static_cast<uint32_t>(end);
    if (rest != 0) {
        key.rest = static_cast<uint32_t>(begin + rest);
        key.rest_end = key.line_end;
    }
    if (is_event(r.kind)) {
        key.id = r.id;
        key.data = r.data;
        key.name = static_cast<uint32_t>(r.name.data() - bytes);
        key.name_end = key.name + static_cast<uint32_t>(r.name.size());
    }
    keys_.push_back(key);
    return static_cast<uint32_t>(keys_.size() - 1);
}

void BlockParser::add_bad(uint32_t line) {
    if (bad_items_ >= bad_items_apart && count_ > 0 && items_[count_ - 1].key == Item::bad) {
        ++items_[count_ - 1].micros;
        return;
    }
    ++bad_items_;
    add_item(Item{1, Item::bad, line, false});
}

void BlockParser::record_of(const Key& key, const char* bytes, Record& out) {
    out.kind = key.kind;
    switch (key.kind) {
    case Kind::key:
    case Kind::user:
        out.id = key.id;
        out.data = key.data;
        out.name = std::string_view(bytes + key.name, key.name_end - key.name);
        break;
    case Kind::logging_stopped:
    case Kind::logging_started:
    case Kind::log_closed:
        break;
    default:
        // Load lines are few: parsed again for their texts.
        parse_record(std::string_view(bytes + key.line, key.line_end - key.line), out);
    }
}

} // namespace kwlog
