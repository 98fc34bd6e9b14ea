// A session's events over time, for the report's timeline: events per time
// step in at most a fixed number of steps, whatever the session's length,
// filled in one pass. Steps start one microsecond wide (the log's own
// resolution); when a time would need one step too many, the width doubles
// and neighbouring steps are merged in pairs, so the cost per event stays
// one subtraction, one shift and one add. Logging stops and starts are kept
// per step too, with the time of the first of them, so that marks can be
// drawn and the periods with logging off told.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kwlog {

class Timeline {
  public:
    static constexpr size_t default_steps = 600;
    explicit Timeline(size_t most_steps = default_steps);

    // One event at `micros`. Times may come in any order.
    void add_event(int64_t micros) {
        uint64_t at = static_cast<uint64_t>(micros - origin_) >> shift_;
        if (at < events_.size())
            ++events_[at];
        else
            ++events_[make_room(micros)];
    }
    void add_stop(int64_t micros) {
        add_change(micros, Change::stop);
    }
    void add_start(int64_t micros) {
        add_change(micros, Change::start);
    }
    // A record other than an event or a change: it widens the span only.
    void add_other(int64_t micros) {
        make_room(micros);
    }

    enum class Change : uint8_t { none, stop, start };
    struct Marks {
        uint32_t stops = 0, starts = 0;
        int64_t earliest = 0, latest = 0; // the times of the earliest and latest of them
        Change last = Change::none;       // the last of them, in the order they came
        uint64_t order = 0;               // and its place in that order, counted from 1
    };

    bool empty() const {
        return events_.empty();
    }
    // The steps, from origin() on, each width() microseconds wide.
    size_t steps() const {
        return events_.size();
    }
    int64_t origin() const {
        return origin_;
    }
    int64_t width() const {
        return int64_t{1} << shift_;
    }
    uint64_t events(size_t step) const {
        return events_[step];
    }
    const Marks& marks(size_t step) const {
        return marks_[step];
    }
    // The first stop or start to come, or none: logging was on before a
    // first stop and off before a first start.
    Change first_change() const {
        return first_change_;
    }

  private:
    void add_change(int64_t micros, Change change);
    // The step of `micros`, made so: widened, extended at either end.
    size_t make_room(int64_t micros);
    void double_width();
    void grow_front(size_t steps);

    size_t most_;
    int64_t origin_ = 0; // a multiple of the width
    unsigned shift_ = 0; // the width is 2^shift_ microseconds
    std::vector<uint64_t> events_;
    std::vector<Marks> marks_;
    Change first_change_ = Change::none;
    uint64_t changes_ = 0;
};

} // namespace kwlog
