// Sweeps over odd and hostile input: every event number up to 0x1FFFF and a
// spread over the rest of the 32-bit range, each with extreme data values,
// and aircraft answers of every length from empty to past the buffer and of
// every non-zero byte value. Each handler call must count, name and record
// exactly what its class calls for; the records are checked in bulk, against
// text built here from the class rules and the table's rows.

#include <map>
#include <vector>

#include "log/event_names.h"
#include "module_state.h"

namespace {

const uint32_t data_values[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};

// ---- Expectations ------------------------------------------------------------------

// The name each number should get: the first of its rows.
const std::map<uint32_t, const char*>& first_names() {
    static const std::map<uint32_t, const char*> names = [] {
        std::map<uint32_t, const char*> map;
        for (size_t i = 0; i + 1 < event_name_rows; i++)
            map.emplace(event_names[i].id, event_names[i].name); // keeps the first
        return map;
    }();
    return names;
}

// The 32 bits read as a two's complement number, in decimal.
std::string as_signed_text(uint32_t bits) {
    int64_t value = bits < 0x80000000u ? (int64_t)bits : (int64_t)bits - 0x100000000;
    return std::to_string(value);
}

struct Expected {
    bool counted = false;
    const char* table_name = nullptr; // a row's own pointer, when the name comes from the table
    std::string name;                 // the name, when counted
    std::string record;               // with the time masked as T; empty when nothing is written
};

Expected expected_for(uint32_t id, uint32_t data, bool axis_logging) {
    Expected e;
    std::string written_id = as_signed_text(id - 0x10000u);
    if (id >= 0x11000) {
        e.counted = true;
        e.name = "User_Defined_Event";
        e.record = "\r\n Time= T id= " + written_id +
                   " event_in= User_Defined_Event evdata= " + as_signed_text(data);
        return e;
    }
    if (id < 0x10000)
        return e;
    bool axis = (id >= 0x100E2 && id <= 0x100E6) || id == 0x102F3 || id == 0x102F4;
    if (axis && !axis_logging)
        return e;
    e.counted = true;
    auto row = first_names().find(id);
    if (row != first_names().end()) {
        e.table_name = row->second;
        e.name = row->second;
    } else {
        e.name = axis ? "unknown" : "null";
    }
    e.record = "\r\n Time=T; id=" + written_id + "; event_in=" + e.name +
               "; evdata=" + as_signed_text(data);
    return e;
}

// ---- Checking ----------------------------------------------------------------------

// Where two texts first differ, with some context, for a readable failure.
std::string first_difference(const std::string& actual, const std::string& expected) {
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        at++;
    size_t from = at < 80 ? 0 : at - 80;
    return "first difference at byte " + std::to_string(at) +
           "\n  actual:   " + testing::PrintToString(actual.substr(from, 160)) +
           "\n  expected: " + testing::PrintToString(expected.substr(from, 160));
}

void expect_log(const std::string& expected) {
    close_log();
    std::string actual = masked_log();
    if (actual != expected)
        ADD_FAILURE() << "log differs (" << actual.size() << " bytes, expected " << expected.size()
                      << ")\n"
                      << first_difference(actual, expected);
}

class Sweep : public ModuleStateTest {
  protected:
    void SetUp() override {
        ModuleStateTest::SetUp();
        start_clock();
    }

    // Sends every number with every data value, checking count and name
    // after each call, and adds the expected records to expected_log_.
    void sweep(const std::vector<uint32_t>& ids, bool axis_logging) {
        axis_events_enabled = axis_logging ? 1 : 0;
        int failures = 0;
        for (uint32_t id : ids) {
            for (uint32_t data : data_values) {
                const int32_t count_before = event_count;
                const char* name_before = last_event_name;
                const int32_t result = on_key_event(id, data, nullptr);
                calls_++;
                const Expected e = expected_for(id, data, axis_logging);
                const bool named = !e.counted ? last_event_name == name_before
                                   : e.table_name != nullptr
                                       ? last_event_name == e.table_name
                                       : last_event_name != nullptr && e.name == last_event_name;
                if (result != 0 || flush_counter != (int32_t)(calls_ % 5) || !named ||
                    event_count != count_before + (e.counted ? 1 : 0)) {
                    ADD_FAILURE() << "id 0x" << std::hex << id << " data 0x" << data << std::dec
                                  << ": count " << count_before << " -> " << event_count
                                  << ", name " << (last_event_name ? last_event_name : "(none)")
                                  << ", expected " << (e.counted ? e.name : "no change");
                    if (++failures == 10)
                        FAIL() << "stopping after 10 wrong calls";
                }
                expected_log_ += e.record;
            }
        }
    }

    std::string expected_log_;
    uint64_t calls_ = 0;
};

// ---- Event numbers -----------------------------------------------------------------

// The numbers from `first` to `last` in steps of `step`.
std::vector<uint32_t> numbers(uint64_t first, uint64_t last, uint64_t step = 1) {
    std::vector<uint32_t> ids;
    for (uint64_t id = first; id <= last; id += step)
        ids.push_back((uint32_t)id);
    return ids;
}

TEST_F(Sweep, EveryNumberUpTo0x1FFFF) {
    sweep(numbers(0, 0x1FFFF), false);
    expect_log(expected_log_);
}

TEST_F(Sweep, KeySpanWithAxisLogging) {
    sweep(numbers(0x10000, 0x10FFF), true);
    expect_log(expected_log_);
}

TEST_F(Sweep, RestOfTheThirtyTwoBitRange) {
    std::vector<uint32_t> ids = numbers(0x20000, 0xFFFFFFFF, 1048573); // a prime near 2^20
    // Where the written id (number - 0x10000) crosses the signed limits.
    ids.insert(ids.end(), {0x7FFFFFFFu, 0x80000000u, 0x8000FFFFu, 0x80010000u, 0x8001FFFFu,
                           0xFFFEFFFFu, 0xFFFF0000u, 0xFFFFFFFEu, 0xFFFFFFFFu});
    sweep(ids, false);
    sweep(ids, true);
    expect_log(expected_log_);
}

// ---- Aircraft answers ----------------------------------------------------------------

std::map<std::string, std::vector<char>> answers; // expression -> NUL-terminated answer

int32_t answer_expression(const char* expression, double*, int32_t*, const char** text) {
    auto answer = answers.find(expression);
    if (answer == answers.end()) {
        ADD_FAILURE() << "unexpected expression " << expression;
        return 0;
    }
    *text = answer->second.data();
    return 0;
}

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
    std::string text(answer.data(), answer.size() - 1);
    if (text.size() > 259)
        return "";
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

TEST_F(Sweep, AircraftAnswersOfEveryLengthAndByteValue) {
    PANELS panels{};
    panels.execute_calculator_code = answer_expression;
    std::string expected;
    for (size_t length = 0; length <= 300; length++) {
        answers["(A:TITLE, string)"] = answer_text(length, 0);
        answers["(A:ATC TYPE, string)"] = answer_text(length, 85);
        answers["(A:ATC MODEL, string)"] = answer_text(length, 170 + length);
        ImportTable.panels.table = &panels;
        module_init();
        module_deinit();

        const std::vector<char>& title = answers["(A:TITLE, string)"];
        std::string kept = length <= 259 ? std::string(title.data(), length) : "";
        EXPECT_EQ(std::string(aircraft_title), kept) << "length " << length;

        expected += "\r\n\r\n Time=T; Aircraft Loaded Title=" + in_file(title) +
                    "; Type=" + in_file(answers["(A:ATC TYPE, string)"]) +
                    "; Model=" + in_file(answers["(A:ATC MODEL, string)"]);
        expected += "\r\n Time= T Gauge Loaded= " + std::string(module_path);
        expected += "\r\n Time= T Logging Stopped\r\n Time= T Log File Closed";
    }
    answers.clear();
    expect_log(expected);
}

} // namespace
