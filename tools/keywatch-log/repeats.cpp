// Steady repeats and tugs-of-war (see repeats.h).
#include "repeats.h"

#include <algorithm>
#include <charconv>

namespace kwlog {

// ---- The gaps of a steady repeat ---------------------------------------------------

// Past the first gaps, they and the rest go into a table of 16 bins, from
// which it grows.
void GapCounts::start_table(uint64_t& held) {
    constexpr size_t first_size = 16;
    held += first_size - bins_.size();
    bins_.assign(first_size, Bin{});
    used_ = 0;
    shift_ = 0;
    for (uint32_t gap : first_)
        count_in(gap, held);
}

void GapCounts::release(uint64_t& held) {
    held -= bins_.size();
    std::vector<Bin>().swap(bins_);
}

// A table twice the size, or, when that would hold too many, the lengths
// kept one step coarser, as often as it takes to free a bin (at most 31
// times: then every length is 0 or 1).
void GapCounts::make_room(uint64_t& held) {
    if (used_ < most_lengths && held + bins_.size() <= all_bins) {
        rebuild(bins_.size() * 2, 0, held);
        return;
    }
    do
        rebuild(bins_.size(), 1, held);
    while ((used_ + 1) * 2 > bins_.size());
}

void GapCounts::rebuild(size_t size, uint32_t more_shift, uint64_t& held) {
    std::vector<Bin> old(size);
    old.swap(bins_);
    held += bins_.size() - old.size();
    shift_ += more_shift;
    used_ = 0;
    for (const Bin& from : old) {
        if (from.count == 0)
            continue;
        Bin* to = find(from.length >> more_shift);
        if (to->count == 0) {
            to->length = from.length >> more_shift;
            ++used_;
        }
        to->count += from.count;
    }
}

int64_t GapCounts::median() const {
    if (gaps_ <= first_gaps) {
        uint32_t gaps[first_gaps];
        auto n = static_cast<uint32_t>(gaps_);
        std::copy(first_, first_ + n, gaps);
        std::sort(gaps, gaps + n);
        return (int64_t{gaps[(n - 1) / 2]} + int64_t{gaps[n / 2]}) / 2;
    }
    std::vector<Bin> counted;
    for (const Bin& bin : bins_)
        if (bin.count != 0)
            counted.push_back(bin);
    std::sort(counted.begin(), counted.end(),
              [](const Bin& a, const Bin& b) { return a.length < b.length; });
    // The gaps at places (gaps_ - 1) / 2 and gaps_ / 2, counted from 0.
    auto nth = [&](uint64_t place) {
        uint64_t below = 0;
        for (const Bin& bin : counted) {
            below += bin.count;
            if (place < below)
                return (int64_t{bin.length} << shift_) + ((int64_t{1} << shift_) - 1) / 2;
        }
        return int64_t{0};
    };
    return (nth((gaps_ - 1) / 2) + nth(gaps_ / 2)) / 2;
}

// ---- Steady repeats ------------------------------------------------------------

void RepeatFinder::open_sample(Run& run) {
    if (free_.empty()) {
        free_.push_back(static_cast<uint32_t>(pool_.size()));
        pool_.emplace_back();
    }
    run.sample = free_.back();
    free_.pop_back();
    Sample& sample = pool_[run.sample];
    sample.gaps.clear();
    sample.values = {};
    sample.values.note(run.data);
}

void RepeatFinder::close(Run& run) {
    Sample& sample = pool_[run.sample];
    if (run.count >= min_count_ && run.last - run.start >= min_span_)
        best_.offer(Repeat{run.event, run.count, run.start, run.last, sample.gaps.median(),
                           sample.values.count, sample.values.more});
    sample.gaps.release(bins_held_);
    free_.push_back(run.sample);
    run.sample = none;
}

std::vector<Repeat> RepeatFinder::finish() {
    for (Run& run : runs_)
        if (run.sample != none)
            close(run);
    runs_.clear();
    return best_.take();
}

// ---- Tugs-of-war ---------------------------------------------------------------

void TugFinder::change(State& state, uint32_t event, int32_t data, int64_t micros) {
    if (state.known == 0) {
        state.now = data;
        state.known = 1;
        state.changed = micros;
        return;
    }
    bool to_second_before = state.known >= 3 && data == state.before[1];
    bool back = (state.known >= 2 && data == state.before[0]) || to_second_before;
    if (back) {
        if (!state.active) {
            // It began with the change this one undoes.
            state.active = true;
            state.tug = Tug{event, 0, state.changed, micros, {}};
            if (to_second_before)
                state.tug.values.note(state.before[1]);
        }
        state.tug.values.note(state.before[0]);
        state.tug.values.note(state.now);
        state.tug.values.note(data);
        ++state.tug.reversals;
        state.tug.last = micros;
        state.quiet = 0;
    } else if (state.active && ++state.quiet >= quiet_changes) {
        close(state);
    }
    state.before[1] = state.before[0];
    state.before[0] = state.now;
    state.now = data;
    state.known = std::min<uint32_t>(state.known + 1, 3);
    state.changed = micros;
}

void TugFinder::close(State& state) {
    if (state.tug.reversals >= min_reversals_)
        best_.offer(state.tug);
    state.active = false;
}

std::vector<Tug> TugFinder::finish() {
    for (State& state : states_)
        if (state.active)
            close(state);
    states_.clear();
    return best_.take();
}

void append_values(std::string& out, const Tug& tug) {
    char buf[16];
    for (uint32_t i = 0; i < tug.values.count; ++i) {
        if (i > 0)
            out += ", ";
        out.append(buf, std::to_chars(buf, buf + sizeof buf, tug.values.values[i]).ptr);
    }
    if (tug.values.more)
        out += ", ...";
}

} // namespace kwlog
