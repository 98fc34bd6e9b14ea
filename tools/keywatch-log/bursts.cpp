// Bursts: runs of one event and data at short gaps (see bursts.h).
#include "bursts.h"

#include <algorithm>
#include <bit>

namespace kwlog {

BurstFinder::BurstFinder(int64_t gap_micros, uint64_t min_count, size_t keep)
    : gap_(gap_micros), min_count_(min_count), index_(64, 0), best_(keep) {}

uint32_t& BurstFinder::index_of(uint32_t event, int32_t data) {
    uint64_t key = uint64_t{event} << 32 | static_cast<uint32_t>(data);
    size_t mask = index_.size() - 1;
    size_t at = (key * 0x9E3779B97F4A7C15) >> 32 & mask;
    for (; index_[at] != 0; at = (at + 1) & mask) {
        const Burst& run = runs_[index_[at] - 1];
        if (run.event == event && run.data == data)
            break;
    }
    return index_[at];
}

uint32_t BurstFinder::slot(uint32_t event, int32_t data) {
    uint32_t& index = index_of(event, data);
    if (index != 0)
        return index - 1;
    uint32_t slot;
    if (!free_.empty()) {
        slot = free_.back();
        free_.pop_back();
    } else {
        slot = static_cast<uint32_t>(runs_.size());
        runs_.emplace_back();
    }
    runs_[slot] = Burst{event, data, 0, 0, 0, stretch_};
    index = slot + 1;
    if ((runs_.size() - free_.size()) * 2 > index_.size())
        reindex(index_.size() * 2);
    return slot;
}

bool BurstFinder::tidy(int64_t now) {
    size_t open = runs_.size() - free_.size();
    if (open < tidy_at_)
        return false;
    for (uint32_t slot = 0; slot < runs_.size(); ++slot) {
        Burst& run = runs_[slot];
        if (run.event != unused && (now - run.last > gap_ || run.stretch != stretch_)) {
            if (run.count >= min_count_)
                best_.offer(run);
            run.event = unused;
            free_.push_back(slot);
            --open;
        }
    }
    tidy_at_ = std::max<size_t>(1024, open * 2);
    reindex(std::max<size_t>(64, std::bit_ceil(open * 4)));
    return true;
}

// The index made afresh, of the slots in use.
void BurstFinder::reindex(size_t size) {
    index_.assign(size, 0);
    for (uint32_t slot = 0; slot < runs_.size(); ++slot)
        if (runs_[slot].event != unused)
            index_of(runs_[slot].event, runs_[slot].data) = slot + 1;
}

std::vector<Burst> BurstFinder::finish() {
    for (const Burst& run : runs_)
        if (run.event != unused && run.count >= min_count_)
            best_.offer(run);
    runs_.clear();
    return best_.take();
}

} // namespace kwlog
