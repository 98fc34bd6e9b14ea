// Steady repeats and tugs-of-war (see repeats.h).
#include "repeats.h"

#include <algorithm>
#include <charconv>

namespace kwlog {

// ---- Steady repeats ------------------------------------------------------------

void RepeatFinder::open_sample(Run& run) {
    if (free_.empty()) {
        free_.push_back(static_cast<uint32_t>(pool_.size()));
        pool_.emplace_back();
    }
    run.sample = free_.back();
    free_.pop_back();
    Sample& sample = pool_[run.sample];
    sample.kept = 0;
    sample.values = {};
    sample.values.note(run.data);
}

// Every gap is kept while the sample has room; once it is full, every second
// one is dropped and every second one from then on is kept, and so on, so
// that the sample stays spread evenly over the run.
void RepeatFinder::thin_out(Run& run, Sample& sample, int64_t gap) {
    for (uint32_t i = 0; i < sample_size / 2; ++i)
        sample.gaps[i] = sample.gaps[2 * i];
    sample.kept = sample_size / 2;
    run.stride *= 2;
    if (((run.gaps - 1) & (run.stride - 1)) == 0)
        sample.gaps[sample.kept++] = static_cast<uint32_t>(gap);
}

void RepeatFinder::close(Run& run) {
    Sample& sample = pool_[run.sample];
    if (run.count >= min_count_ && run.last - run.start >= min_span_) {
        uint32_t* gaps = sample.gaps;
        uint32_t n = sample.kept;
        std::sort(gaps, gaps + n);
        int64_t median =
            n % 2 == 1 ? gaps[n / 2] : (int64_t{gaps[n / 2 - 1]} + int64_t{gaps[n / 2]}) / 2;
        best_.offer(Repeat{run.event, run.count, run.start, run.last, median, sample.values.count,
                           sample.values.more});
    }
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
