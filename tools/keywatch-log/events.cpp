// Counting events by number and name (see events.h).
#include "events.h"

#include <algorithm>
#include <cstddef>

namespace kwlog {

uint32_t& EventCounts::slot_of(int32_t id) {
    size_t mask = slots_.size() - 1;
    size_t at = ((static_cast<uint32_t>(id) * size_t{0x9E3779B97F4A7C15}) >> 40) & mask;
    while (slots_[at] != none && events_[slots_[at]].id != id)
        at = (at + 1) & mask;
    return slots_[at];
}

void EventCounts::grow() {
    std::vector<uint32_t> old(slots_.size() * 2, none);
    old.swap(slots_);
    for (uint32_t head : old)
        if (head != none)
            slot_of(events_[head].id) = head;
}

uint32_t EventCounts::add_new(uint32_t& head, int32_t id, std::string_view name) {
    auto index = static_cast<uint32_t>(events_.size());
    events_.push_back(Event{id, head, 0, std::string(name)});
    bool new_number = head == none;
    head = index;
    // A number not seen before fills a slot of the hash; grow() moves them.
    if (new_number && (id < 0 || id >= small_ids) && ++numbers_ * 2 > slots_.size())
        grow();
    return index;
}

std::vector<uint32_t> EventCounts::busiest(size_t most) const {
    std::vector<uint32_t> order(size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    size_t shown = std::min(most, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(shown),
                      order.end(), [this](uint32_t a, uint32_t b) {
                          const Event &x = events_[a], &y = events_[b];
                          if (x.count != y.count)
                              return x.count > y.count;
                          if (x.name != y.name)
                              return x.name < y.name;
                          return x.id < y.id;
                      });
    order.resize(shown);
    return order;
}

} // namespace kwlog
