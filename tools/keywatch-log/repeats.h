// What keeps sending an event, and what fights over one: steady repeats and
// tugs-of-war within a session, found in one pass with O(1) work per event
// and bounded state per distinct event.
//
// A steady repeat is one event sent again and again, no gap over a limit
// (0.5 s), for long (10 sends, 2 s): a knob held, a panel polled, an add-on
// that keeps setting what it already set. Bursts, of one data value within
// 50 ms, miss it.
//
// A tug-of-war is an event whose data keeps going back to a value it had
// just before: A, B, A, B or A, B, C, A. A setting that two senders fight
// over shows so (the pilot turns the knob, something sets it back). It
// counts the changes that go back to one of the two values before the
// present one, and ends after three changes in a row that do not.
#pragma once

#include "bursts.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kwlog {

// Distinct data values, the first `most` of them kept in the order they came.
template <uint32_t most> struct DistinctValues {
    int32_t values[most];
    uint32_t count = 0;
    bool more = false; // more values came than are kept

    void note(int32_t value) {
        for (uint32_t i = 0; i < count; ++i)
            if (values[i] == value)
                return;
        if (count < most)
            values[count++] = value;
        else
            more = true;
    }
};

struct Repeat {
    static constexpr uint32_t most_values = 16; // distinct data values told apart
    uint32_t event;                             // index in the session's EventCounts
    uint64_t count;
    int64_t start, last;
    int64_t median_gap; // of all its gaps (see GapCounts for how exact)
    uint32_t values;    // distinct data values, at most most_values
    bool more_values;   // and there were more than that
};

// The gaps of a run, for their median: the first few as they come, then
// counted by length in an open-addressed table of (length, count). Lengths
// are kept to the microsecond while a run has at most `most_lengths`
// distinct ones and all runs under way together hold fewer than `all_bins`
// bins; past either, the run's lengths are kept to 2, 4, 8 ... microseconds,
// halving its distinct lengths each time, so that memory stays bounded
// whatever the log.
class GapCounts {
  public:
    static constexpr uint32_t first_gaps = 32; // kept as they come: most runs are short
    static constexpr uint32_t most_lengths = 4096;
    static constexpr uint64_t all_bins = uint64_t{1} << 18; // 2 MB, for all runs together

    // A new run.
    void clear() {
        gaps_ = 0;
    }
    // `held`: the bins all runs hold, kept up to date by each.
    void add(uint32_t gap, uint64_t& held) {
        if (gaps_ < first_gaps) {
            first_[gaps_++] = gap;
            return;
        }
        if (gaps_ == first_gaps)
            start_table(held);
        count_in(gap, held);
        ++gaps_;
    }
    // The median of the gaps counted: the middle one, or the mean of the two
    // middle ones (a length kept coarser stands for the middle of its span).
    int64_t median() const;
    // Gives back the table of a run that is over.
    void release(uint64_t& held);

  private:
    struct Bin {
        uint32_t length = 0; // gap >> shift_
        uint32_t count = 0;  // 0: an empty bin
    };
    Bin* find(uint32_t length) {
        size_t mask = bins_.size() - 1;
        size_t at = (length * uint64_t{0x9E3779B97F4A7C15}) >> 40 & mask;
        while (bins_[at].count != 0 && bins_[at].length != length)
            at = (at + 1) & mask;
        return &bins_[at];
    }
    void count_in(uint32_t gap, uint64_t& held) {
        uint32_t length = gap >> shift_;
        Bin* bin = find(length);
        if (bin->count == 0) {
            if ((used_ + 1) * 2 > bins_.size()) {
                make_room(held);
                length = gap >> shift_;
                bin = find(length);
            }
            if (bin->count == 0) {
                bin->length = length;
                ++used_;
            }
        }
        ++bin->count;
    }
    void start_table(uint64_t& held);
    void make_room(uint64_t& held);
    void rebuild(size_t size, uint32_t more_shift, uint64_t& held);

    uint32_t first_[first_gaps];
    std::vector<Bin> bins_; // a power of two, at most half used
    uint32_t used_ = 0, shift_ = 0;
    uint64_t gaps_ = 0;
};

class RepeatFinder {
  public:
    RepeatFinder(int64_t gap_micros, uint64_t min_count, int64_t min_span_micros, size_t keep)
        : gap_(gap_micros), min_count_(min_count), min_span_(min_span_micros), best_(keep) {}

    // Events are indexed from 0 up; make_room(event) comes before add(event).
    void make_room(uint32_t event) {
        if (event >= runs_.size())
            runs_.resize(event + 1);
    }
    void add(uint32_t event, int32_t data, int64_t micros) {
        Run& run = runs_[event];
        int64_t gap = micros - run.last;
        if (run.count > 0 && gap >= 0 && gap <= gap_) {
            extend(run, data, micros, gap);
        } else {
            if (run.sample != none)
                close(run); // a run of one send is no repeat
            run = Run{micros, micros, 1, none, event, data};
        }
    }
    // Closes every run and returns the longest repeats, most sends first.
    std::vector<Repeat> finish();
    // The bins the runs under way hold for their gaps, all together.
    uint64_t gap_bins() const {
        return bins_held_;
    }

  private:
    static constexpr uint32_t none = UINT32_MAX;
    struct Run {
        int64_t start = 0, last = 0;
        uint64_t count = 0;     // sends
        uint32_t sample = none; // in pool_, from the second send on
        uint32_t event = 0;
        int32_t data = 0; // the last one sent
    };
    // The state of a run of two sends or more.
    struct Sample {
        GapCounts gaps;
        DistinctValues<Repeat::most_values> values;
    };
    struct MoreSends {
        bool operator()(const Repeat& a, const Repeat& b) const {
            if (a.count != b.count)
                return a.count > b.count;
            return a.start < b.start;
        }
    };

    void extend(Run& run, int32_t data, int64_t micros, int64_t gap) {
        if (run.sample == none)
            open_sample(run);
        Sample& sample = pool_[run.sample];
        ++run.count;
        run.last = micros;
        sample.gaps.add(static_cast<uint32_t>(gap), bins_held_);
        if (data != run.data) {
            run.data = data;
            sample.values.note(data);
        }
    }
    void open_sample(Run& run);
    void close(Run& run);

    int64_t gap_;
    uint64_t min_count_;
    int64_t min_span_;
    std::vector<Run> runs_; // by event
    std::vector<Sample> pool_;
    std::vector<uint32_t> free_;
    uint64_t bins_held_ = 0; // by the samples' gap counts, all together
    Longest<Repeat, MoreSends> best_;
};

struct Tug {
    static constexpr uint32_t most_values = 6; // values shown
    uint32_t event;                            // index in the session's EventCounts
    uint64_t reversals;
    int64_t start, last; // from the change the first reversal undid to the last reversal
    DistinctValues<most_values> values; // in the order they came
};

// A tug-of-war's values as every command shows them: "A, B, C", and ", ..."
// when there were more than are kept.
void append_values(std::string& out, const Tug& tug);

class TugFinder {
  public:
    TugFinder(uint64_t min_reversals, size_t keep) : min_reversals_(min_reversals), best_(keep) {}

    // Events are indexed from 0 up; make_room(event) comes before add(event).
    void make_room(uint32_t event) {
        if (event >= states_.size())
            states_.resize(event + 1);
    }
    void add(uint32_t event, int32_t data, int64_t micros) {
        State& state = states_[event];
        if (state.known == 0 || data != state.now)
            change(state, event, data, micros);
    }
    // Ends every tug-of-war under way and returns those with the most
    // reversals, most first.
    std::vector<Tug> finish();

  private:
    static constexpr uint32_t quiet_changes = 3; // that end a tug-of-war
    struct State {
        int32_t now = 0, before[2] = {0, 0}; // the value, and the two before it
        uint32_t known = 0;                  // how many of those three there are
        uint32_t quiet = 0;                  // changes since the last reversal
        int64_t changed = 0;                 // when `now` came
        bool active = false;
        Tug tug{};
    };
    struct MoreReversals {
        bool operator()(const Tug& a, const Tug& b) const {
            if (a.reversals != b.reversals)
                return a.reversals > b.reversals;
            return a.start < b.start;
        }
    };

    void change(State& state, uint32_t event, int32_t data, int64_t micros);
    void close(State& state);

    uint64_t min_reversals_;
    std::vector<State> states_; // by event
    Longest<Tug, MoreReversals> best_;
};

} // namespace kwlog
