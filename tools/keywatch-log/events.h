// Events counted by number and name. Every add-on event is named
// User_Defined_Event and every key without a name null, so only the number
// tells them apart; the name tells apart lines that share a number (logs of
// two module versions, or an edited log). Each distinct event gets a small
// index, 0, 1, 2, ... in order of first sight, that other per-event state
// can be kept by. So that memory stays bounded whatever the log, only the
// first `most_events` distinct events are told apart: all later ones share
// the index `others`, counted together.
#pragma once

#include "bytes.h"

#include "interface/event_numbers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kwlog {

class EventCounts {
  public:
    static constexpr uint32_t most_events = 10000;
    static constexpr uint32_t others = most_events; // the index of the events beyond them

    // The event's index, a new one (counted 0 times) if it is not known yet;
    // `others` once as many as are told apart are known.
    uint32_t index(int32_t id, std::string_view name) {
        uint32_t& head = id >= 0 && id < small_ids ? small_[static_cast<size_t>(id)] : slot_of(id);
        for (uint32_t at = head; at != none; at = events_[at].next_same_id)
            if (same_text(events_[at].name, name))
                return at;
        return events_.size() < most_events ? add_new(head, id, name) : add_other();
    }
    // Counts the event once more.
    void count(uint32_t index, uint64_t times = 1) {
        events_[index].count += times;
        total_ += times;
    }
    // Counts one event; returns its index.
    uint32_t add(int32_t id, std::string_view name) {
        uint32_t at = index(id, name);
        count(at);
        return at;
    }
    // The events told apart (the others aside).
    size_t size() const {
        return std::min<size_t>(events_.size(), most_events);
    }
    // How many events were counted together as others.
    uint64_t others_count() const {
        return events_.size() > most_events ? events_[others].count : 0;
    }
    int32_t id(uint32_t index) const {
        return events_[index].id;
    }
    // Valid until the next add().
    std::string_view name(uint32_t index) const {
        return events_[index].name;
    }
    uint64_t count(uint32_t index) const {
        return events_[index].count;
    }
    uint64_t total() const {
        return total_;
    }
    // Indices by count, most first; ties by name, then number. Not others.
    std::vector<uint32_t> busiest(size_t most) const;

  private:
    static constexpr uint32_t none = UINT32_MAX;
    // The numbers of the simulator's own keys (ids 0 to 4095, the key span)
    // are looked up directly; others, add-ons' above all, by hash.
    static constexpr int32_t small_ids = KEY_EVENT_SPAN;
    struct Event {
        int32_t id;
        uint32_t next_same_id; // another event with this number, or none
        uint64_t count;
        std::string name;
    };
    static bool same_text(std::string_view a, std::string_view b) {
        // Names are short: compared without a call.
        size_t n = a.size();
        if (n != b.size())
            return false;
        return n < 8 ? std::memcmp(a.data(), b.data(), n) == 0 : same_bytes(a.data(), b.data(), n);
    }
    uint32_t add_new(uint32_t& head, int32_t id, std::string_view name);
    uint32_t add_other() {
        // Its slot, made the first time: reached by its index alone.
        if (events_.size() == most_events)
            events_.push_back(Event{0, none, 0, std::string()});
        return others;
    }
    uint32_t& slot_of(int32_t id);
    void grow();

    std::vector<Event> events_;
    // Open addressing by number: each slot holds the newest event of one
    // number, or none; the others of that number hang off it.
    std::vector<uint32_t> small_ = std::vector<uint32_t>(small_ids, none);
    std::vector<uint32_t> slots_ = std::vector<uint32_t>(64, none);
    size_t numbers_ = 0;
    uint64_t total_ = 0;
};

} // namespace kwlog
