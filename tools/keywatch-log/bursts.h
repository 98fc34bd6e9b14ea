// Rates within a session: the most events in any one second, and bursts,
// runs of one event with one data value at short gaps. Each takes O(1) work
// per event; state is bounded by what a second holds and by the runs still
// open within the gap, plus the longest few closed.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kwlog {

// The most events within any one second, to the millisecond. The window of
// the last 1000 milliseconds is kept as one (millisecond, count) pair per
// millisecond that had events, so a long quiet gap costs nothing. A time
// that goes back to an earlier millisecond (two logs pasted together) starts
// the window afresh: the seconds of two clocks are not one second.
class PeakRate {
  public:
    void add(int64_t micros) {
        int64_t ms = micros / 1000;
        if (ms == current_ && size_ > 0) { // most often: the millisecond of the event before
            ++slots_[last_].count;
        } else {
            if (ms < current_ && size_ > 0) {
                size_ = 0;
                in_window_ = 0;
            }
            current_ = ms;
            while (size_ > 0 && slots_[first_].ms <= current_ - window) {
                in_window_ -= slots_[first_].count;
                first_ = (first_ + 1) & mask;
                --size_;
            }
            if (size_ > 0 && slots_[last_].ms == current_) {
                ++slots_[last_].count;
            } else {
                last_ = (first_ + size_) & mask;
                slots_[last_] = Slot{current_, 1};
                ++size_;
            }
        }
        if (++in_window_ > peak_) {
            peak_ = in_window_;
            peak_end_ms_ = current_;
        }
    }
    uint64_t peak() const {
        return peak_;
    }
    // The millisecond that ends the busiest second.
    int64_t peak_end_ms() const {
        return peak_end_ms_;
    }

  private:
    static constexpr int64_t window = 1000;
    static constexpr size_t mask = 1023; // a ring of 1024 holds the 1000 milliseconds
    struct Slot {
        int64_t ms;
        uint64_t count;
    };
    std::array<Slot, mask + 1> slots_{};
    size_t first_ = 0, size_ = 0, last_ = 0;
    int64_t current_ = 0, peak_end_ms_ = 0;
    uint64_t in_window_ = 0, peak_ = 0;
};

struct Burst {
    uint32_t event; // index in the session's EventCounts
    int32_t data;
    uint64_t count;
    int64_t start, last;
    uint32_t stretch = 0; // of times that do not go back (in the finder)
};

// The longest few of many results, in a heap whose top is the least of
// them, so that each offer costs O(log n) at most and O(1) when it does not
// make the list. `Before` orders them, the one to show first first.
template <class Result, class Before> class Longest {
  public:
    explicit Longest(size_t keep) : keep_(keep) {}
    void offer(const Result& result) {
        if (kept_.size() < keep_) {
            kept_.push_back(result);
            std::push_heap(kept_.begin(), kept_.end(), Before{});
        } else if (keep_ > 0 && Before{}(result, kept_.front())) {
            std::pop_heap(kept_.begin(), kept_.end(), Before{});
            kept_.back() = result;
            std::push_heap(kept_.begin(), kept_.end(), Before{});
        }
    }
    // The results kept, the first to show first; the list is then empty.
    std::vector<Result> take() {
        std::sort_heap(kept_.begin(), kept_.end(), Before{});
        return std::move(kept_);
    }

  private:
    size_t keep_;
    std::vector<Result> kept_;
};

// Runs of one event and data whose gaps stay within the threshold. Other
// events may come in between: a run is broken only by its own gap, or by a
// time that goes back (two logs pasted together), which ends every run. Each
// (event, data) met lately has a slot, found by slot() once per key of a
// block and then used for every event of the key; tidy() closes the runs
// that can no longer grow, now and then, so only recent ones keep a slot.
// Of the closed runs only the longest few are kept.
class BurstFinder {
  public:
    BurstFinder(int64_t gap_micros, uint64_t min_count, size_t keep);
    // The slot of (event, data), valid until the next tidy().
    uint32_t slot(uint32_t event, int32_t data);
    void add(uint32_t slot, int64_t micros) {
        if (micros < latest_)
            ++stretch_;
        latest_ = micros;
        Burst& run = runs_[slot];
        if (micros - run.last <= gap_ && run.stretch == stretch_ && run.count > 0) {
            ++run.count;
            run.last = micros;
        } else {
            if (run.count >= min_count_)
                best_.offer(run);
            run.count = 1;
            run.start = run.last = micros;
            run.stretch = stretch_;
        }
    }
    // Closes the runs that ended before `now` less the gap, once there are
    // many; true when it did, and slots are then void.
    bool tidy(int64_t now);
    // Closes every run and returns the longest, longest first.
    std::vector<Burst> finish();

  private:
    struct Longer {
        bool operator()(const Burst& a, const Burst& b) const {
            if (a.count != b.count)
                return a.count > b.count;
            return a.start < b.start;
        }
    };
    static constexpr uint32_t unused = UINT32_MAX; // the event of a free slot
    uint32_t& index_of(uint32_t event, int32_t data);
    void reindex(size_t size);

    int64_t gap_;
    uint64_t min_count_;
    int64_t latest_ = INT64_MIN; // the last event's time
    uint32_t stretch_ = 0;       // times that went back so far
    size_t tidy_at_ = 1024;
    std::vector<Burst> runs_; // by slot; count 0 until its first event
    std::vector<uint32_t> free_;
    // Open addressing by event and data: a slot plus one, or 0. A power
    // of two, at most half used.
    std::vector<uint32_t> index_;
    Longest<Burst, Longer> best_;
};

} // namespace kwlog
