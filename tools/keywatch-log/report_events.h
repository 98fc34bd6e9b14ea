// What a session's events were, for the report: the events in order (the
// first and last stretches of a long session, with what lies between them
// named), the data values each distinct event came with, and the add-on
// events, every one of them. Filled event by event in the session pass; the
// stretches are bounded, and the rest is a little state per distinct event.
#pragma once

#include "names.h"
#include "session.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kwlog {

// A line of the sequence: an event, or logging stopped or started.
struct SequenceRow {
    enum class What : uint8_t { event, stop, start };
    int64_t micros = 0;
    uint32_t event = 0; // index in the session's EventCounts
    int32_t data = 0;
    What what = What::event;
};

// The first `ends` rows and the last `ends`, and a count of those between.
class Sequence {
  public:
    explicit Sequence(size_t ends) : ends_(ends) {}
    void add(const SequenceRow& row);

    const std::vector<SequenceRow>& first() const {
        return first_;
    }
    const std::deque<SequenceRow>& last() const {
        return last_;
    }
    // Rows left out between the two stretches: events, and stops or starts;
    // the times of the first and last of them.
    uint64_t hidden_events() const {
        return hidden_events_;
    }
    uint64_t hidden_changes() const {
        return hidden_changes_;
    }
    int64_t hidden_from() const {
        return hidden_from_;
    }
    int64_t hidden_to() const {
        return hidden_to_;
    }

  private:
    size_t ends_;
    std::vector<SequenceRow> first_;
    std::deque<SequenceRow> last_;
    uint64_t hidden_events_ = 0, hidden_changes_ = 0;
    int64_t hidden_from_ = 0, hidden_to_ = 0;
};

// The data values of one event: the first few distinct values with their
// counts, then how many came with any other value, and that value's range.
class DataValues {
  public:
    static constexpr size_t kept = 4;
    bool empty() const {
        return size_ == 0;
    }
    void add(int32_t data) {
        for (size_t i = 0; i < size_; ++i)
            if (values_[i] == data) {
                ++counts_[i];
                return;
            }
        if (size_ < kept) {
            values_[size_] = data;
            counts_[size_++] = 1;
            return;
        }
        low_ = others_ == 0 ? data : std::min(low_, data);
        high_ = others_ == 0 ? data : std::max(high_, data);
        ++others_;
    }
    // "0"; "16212 ×3, 16213"; then ", 7 more from -5 to 900" (sends with
    // any other value).
    void write(std::string& out) const;

  private:
    int32_t values_[kept] = {};
    uint64_t counts_[kept] = {};
    size_t size_ = 0;
    uint64_t others_ = 0;
    int32_t low_ = 0, high_ = 0;
};

class SessionEvents {
  public:
    explicit SessionEvents(size_t ends) : sequence_(ends) {}

    void event(uint32_t index, int32_t data, bool user, int64_t micros);
    void change(bool started, int64_t micros) {
        sequence_.add(SequenceRow{micros, 0, 0,
                                  started ? SequenceRow::What::start : SequenceRow::What::stop});
    }

    // "Events in order": a table, inside a box that scrolls.
    void put_sequence(std::string& out, const Session& s, const EventNames& names) const;
    // "Add-on events": every user-defined event, up to `most` rows.
    void put_addons(std::string& out, const Session& s, const EventNames& names, size_t most) const;
    // "Busiest events": count, share, a bar, the event and its data values.
    void put_busiest(std::string& out, const Session& s, const EventNames& names,
                     size_t most) const;

  private:
    struct PerEvent {
        DataValues values;
        int64_t first = 0, last = 0;
        bool user = false;
    };
    Sequence sequence_;
    std::vector<PerEvent> per_event_; // by index in the session's EventCounts
};

} // namespace kwlog
