// Sweeps over odd and hostile input: every event number up to 0x1FFFF and a
// spread over the rest of the 32-bit range, each with an extreme data value,
// and aircraft answers of every non-zero byte value and every length from
// empty to past the buffer and back, so that no longer text shows through a
// shorter one. Names are checked against a plain scan of the
// table for each number's first row; records against text built here.

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "log/event_names.h"
#include "module_state.h"

namespace {

// The name of the first row for `id`, or null: a plain scan, independent of
// how the module looks names up.
const char* first_row_name(uint32_t id) {
    for (size_t i = 0; i + 1 < event_name_rows; i++)
        if (event_names[i].id == id)
            return event_names[i].name;
    return nullptr;
}

// Whether `id` is one of the seven axis events. They are found by their
// names in the table, not taken from the handler's AXIS_EVENT_RUNS: this is
// the check that those runs hold the seven, and none beside them.
bool is_named_axis_event(uint32_t id) {
    static const std::set<uint32_t> axis_events = [] {
        std::set<uint32_t> ids;
        for (const char* name :
             {"KEY_AXIS_ELEVATOR_SET", "KEY_AXIS_AILERONS_SET", "KEY_AXIS_RUDDER_SET",
              "KEY_AXIS_THROTTLE_SET", "KEY_AXIS_ELEV_TRIM_SET", "KEY_AXIS_PROPELLER_SET",
              "KEY_AXIS_MIXTURE_SET"})
            for (size_t i = 0; i + 1 < event_name_rows; i++)
                if (std::string(event_names[i].name) == name)
                    ids.insert(event_names[i].id);
        return ids;
    }();
    return axis_events.count(id) != 0;
}

// The numbers from `first` to `last` in steps of `step`.
std::vector<uint32_t> numbers(uint64_t first, uint64_t last, uint64_t step = 1) {
    std::vector<uint32_t> ids;
    for (uint64_t id = first; id <= last; id += step)
        ids.push_back((uint32_t)id);
    return ids;
}

// The whole 32-bit range in steps of a prime near 2^20, and where the
// written id (number - KEY_EVENT_BASE) crosses the signed limits.
std::vector<uint32_t> spread_numbers() {
    std::vector<uint32_t> ids = numbers(0x20000, 0xFFFFFFFF, 1048573);
    ids.insert(ids.end(), {0x7FFFFFFFu, 0x80000000u, 0x8000FFFFu, 0x80010000u, 0x8001FFFFu,
                           0xFFFEFFFFu, 0xFFFF0000u, 0xFFFFFFFEu, 0xFFFFFFFFu});
    return ids;
}

// Every number answers its first row's own pointer, or the caller's default
// pointer when it has no row.
TEST(EventNameLookup, EveryNumberAnswersItsFirstRowOrTheCallersDefault) {
    static const char fallback[] = "fallback";
    for (const auto& ids : {numbers(0, 0x1FFFF), spread_numbers()})
        for (uint32_t id : ids) {
            const char* row = first_row_name(id);
            ASSERT_EQ(lookup_event_name(id, fallback), row != nullptr ? row : fallback)
                << std::hex << id;
        }
}

// ---- The handler -------------------------------------------------------------------

std::string signed_text(uint32_t bits) {
    return std::to_string((int64_t)bits - (bits < 0x80000000u ? 0 : 0x100000000));
}

// The whole log, times masked, against `expected`; a failure shows where they part.
void expect_log(const std::string& expected) {
    close_log();
    const std::string actual = masked_log();
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        at++;
    const size_t from = at < 80 ? 0 : at - 80;
    EXPECT_EQ(actual.size(), expected.size());
    EXPECT_EQ(actual.substr(from, 160), expected.substr(from, 160)) << "at byte " << at;
}

// Sends every number once, with the extreme data values in turn (so each
// value meets every class of number many times), checking the result, the flush
// counter, the count and the name after each call, and adds the records the
// class rules call for to `expected`.
void sweep(const std::vector<uint32_t>& ids, bool axis_logging, std::string& expected) {
    static constexpr uint32_t extremes[] = {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
    axis_events_enabled = axis_logging ? 1 : 0;
    size_t turn = 0;
    for (uint32_t id : ids) {
        const bool user = id >= USER_DEFINED_START;
        const bool axis = is_named_axis_event(id);
        const bool counted = user || (id >= KEY_EVENT_BASE && (!axis || axis_logging));
        const char* row = user ? nullptr : first_row_name(id);
        const std::string name = user   ? "User_Defined_Event"
                                 : row  ? row
                                 : axis ? "unknown"
                                        : "null";
        const uint32_t data = extremes[turn++ % 5];
        const int32_t count_before = event_count, flushes_before = flush_counter;
        const char* name_before = last_event_name;
        ASSERT_EQ(on_key_event(id, data, nullptr), 0);
        ASSERT_TRUE(flush_counter == (flushes_before + 1) % 5 &&
                    event_count == count_before + (counted ? 1 : 0) &&
                    (!counted         ? last_event_name == name_before
                     : row != nullptr ? last_event_name == row
                                      : last_event_name != nullptr && name == last_event_name))
            << std::hex << "id 0x" << id << " data 0x" << data << ": name "
            << (last_event_name ? last_event_name : "(none)") << ", count " << event_count;
        const std::string id_text = signed_text(id - KEY_EVENT_BASE), data_text = signed_text(data);
        if (counted)
            expected +=
                user
                    ? "\r\n Time= T id= " + id_text + " event_in= " + name + " evdata= " + data_text
                    : "\r\n Time=T; id=" + id_text + "; event_in=" + name + "; evdata=" + data_text;
    }
}

using Sweep = ModuleStateTest;

TEST_F(Sweep, EveryNumberUpTo0x1FFFFThenTheKeySpanWithAxisLoggingAndTheRestOfTheRange) {
    start_clock();
    std::string expected;
    sweep(numbers(0, 0x1FFFF), false, expected);
    sweep(numbers(KEY_EVENT_BASE, USER_DEFINED_START - 1), true, expected);
    sweep(spread_numbers(), false, expected);
    sweep(spread_numbers(), true, expected);
    expect_log(expected);
}

// ---- Aircraft answers ----------------------------------------------------------------

// `length` bytes counting up through 0x01..0xFF from `phase`; from 255 bytes
// on, every non-zero byte value is in the answer.
std::vector<char> answer_text(size_t length, size_t phase) {
    std::vector<char> text(length + 1, '\0');
    for (size_t i = 0; i < length; i++)
        text[i] = (char)(1 + (i + phase) % 255);
    return text;
}

// The field's text as it should reach the file: whole when it fits the
// 260-byte buffer with its terminator, else empty; line feeds stored as CR LF.
std::string in_file(const std::vector<char>& answer) {
    std::string out;
    for (size_t i = 0; answer.size() <= 260 && i + 1 < answer.size(); i++)
        out += answer[i] == '\n' ? std::string("\r\n") : std::string(1, answer[i]);
    return out;
}

TEST_F(Sweep, AircraftAnswersOfEveryLengthAndByteValue) {
    static std::map<std::string, std::vector<char>> answers; // expression -> answer
    PANELS panels{};
    panels.execute_calculator_code = [](const char* expression, double*, int32_t*,
                                        const char** text) {
        *text = answers.at(expression).data();
        return 0;
    };
    std::string expected;
    for (size_t step = 0; step <= 600; step++) { // lengths 0 to 300 and back to 0
        const size_t length = step <= 300 ? step : 600 - step;
        const auto& title = answers["(A:TITLE, string)"] = answer_text(length, 0);
        const auto& type = answers["(A:ATC TYPE, string)"] = answer_text(length, 85);
        const auto& model = answers["(A:ATC MODEL, string)"] = answer_text(length, 170 + length);
        ImportTable.panels.table = &panels;
        module_init();
        module_deinit();
        EXPECT_EQ(std::string(aircraft_title),
                  length <= 259 ? std::string(title.data(), length) : "")
            << "length " << length;
        expected += "\r\n\r\n Time=T; Aircraft Loaded Title=" + in_file(title) +
                    "; Type=" + in_file(type) + "; Model=" + in_file(model) +
                    "\r\n Time= T Gauge Loaded= " + std::string(module_path) +
                    "\r\n Time= T Logging Stopped\r\n Time= T Log File Closed";
    }
    expect_log(expected);
}

} // namespace
