// Events counted by number and name. Every add-on event is named
// User_Defined_Event and every key without a name null, so only the number
// tells them apart; the name tells apart lines that share a number (logs of
// two module versions, or an edited log). Each distinct event gets a small
// index, 0, 1, 2, ... in order of first sight, that other per-event state
// can be kept by.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kwlog {

class EventCounts {
  public:
    // Counts one event; returns its index.
    uint32_t add(int32_t id, std::string_view name);
    size_t size() const {
        return events_.size();
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
    // Indices by count, most first; ties by name, then number.
    std::vector<uint32_t> busiest(size_t most) const;

  private:
    static constexpr uint32_t none = UINT32_MAX;
    struct Event {
        int32_t id;
        uint32_t next_same_id; // another event with this number, or none
        uint64_t count;
        std::string name;
    };
    uint32_t& slot_of(int32_t id);
    void grow();

    std::vector<Event> events_;
    // Open addressing by number: each slot holds the newest event of one
    // number, or none; the others of that number hang off it.
    std::vector<uint32_t> slots_ = std::vector<uint32_t>(64, none);
    size_t numbers_ = 0;
    uint64_t total_ = 0;
};

} // namespace kwlog
