// A session's events per time step, the steps widening as it grows (see
// timeline.h).
#include "timeline.h"

#include <algorithm>

namespace kwlog {

Timeline::Timeline(size_t most_steps) : most_(std::max<size_t>(most_steps, 2)) {
    events_.reserve(most_);
    marks_.reserve(most_);
}

void Timeline::add_change(int64_t micros, Change change) {
    Marks& m = marks_[make_room(micros)];
    if (m.last == Change::none)
        m.earliest = m.latest = micros;
    m.earliest = std::min(m.earliest, micros);
    m.latest = std::max(m.latest, micros);
    (change == Change::stop ? m.stops : m.starts)++;
    m.last = change;
    m.order = ++changes_;
    if (first_change_ == Change::none)
        first_change_ = change;
}

size_t Timeline::make_room(int64_t micros) {
    if (events_.empty()) {
        origin_ = micros;
        events_.assign(1, 0);
        marks_.assign(1, Marks{});
        return 0;
    }
    for (;;) {
        if (micros < origin_) {
            // Earlier than any so far (a time that went back): steps are
            // added in front, as many again as there are when they fit, so
            // that times going back one by one do not move the steps at
            // every line.
            uint64_t need = ((static_cast<uint64_t>(origin_ - micros) - 1) >> shift_) + 1;
            size_t room = most_ - events_.size();
            if (need > room) {
                double_width();
                continue;
            }
            uint64_t below = static_cast<uint64_t>(origin_) >> shift_; // steps down to time 0
            grow_front(static_cast<size_t>(
                std::max<uint64_t>(need, std::min<uint64_t>({events_.size(), room, below}))));
        }
        uint64_t at = static_cast<uint64_t>(micros - origin_) >> shift_;
        if (at < events_.size())
            return static_cast<size_t>(at);
        if (at < most_) {
            events_.resize(static_cast<size_t>(at) + 1, 0);
            marks_.resize(static_cast<size_t>(at) + 1);
            return static_cast<size_t>(at);
        }
        double_width();
    }
}

// Each new step is two old ones. The origin stays a multiple of the width:
// when it is not one of the new width, it moves back one old step, which
// then pairs with an empty one in front.
void Timeline::double_width() {
    size_t odd = (static_cast<uint64_t>(origin_) >> shift_) & 1;
    size_t old_steps = events_.size();
    auto old_at = [&](size_t padded) { // padded index: 0 is the empty step in front, if any
        return padded >= odd && padded - odd < old_steps ? padded - odd : SIZE_MAX;
    };
    size_t steps = (old_steps + odd + 1) / 2;
    for (size_t i = 0; i < steps; ++i) {
        size_t a = old_at(2 * i), b = old_at(2 * i + 1);
        uint64_t count = (a != SIZE_MAX ? events_[a] : 0) + (b != SIZE_MAX ? events_[b] : 0);
        Marks merged = a != SIZE_MAX ? marks_[a] : Marks{};
        if (b != SIZE_MAX && marks_[b].last != Change::none) {
            const Marks& later = marks_[b];
            // The later step's times are all after the earlier one's.
            if (merged.last == Change::none)
                merged.earliest = later.earliest;
            merged.latest = later.latest;
            merged.stops += later.stops;
            merged.starts += later.starts;
            if (later.order > merged.order) {
                merged.last = later.last;
                merged.order = later.order;
            }
        }
        // Written at i, which is never past the steps still to be read.
        events_[i] = count;
        marks_[i] = merged;
    }
    events_.resize(steps);
    marks_.resize(steps);
    origin_ -= static_cast<int64_t>(odd) << shift_;
    ++shift_;
}

void Timeline::grow_front(size_t steps) {
    events_.insert(events_.begin(), steps, 0);
    marks_.insert(marks_.begin(), steps, Marks{});
    origin_ -= static_cast<int64_t>(steps) << shift_;
}

} // namespace kwlog
