// Unit tests of the key-event handler: the exact record of each class of
// event number, a log that cannot be opened, the count's wrap and the
// counter text, and the periodic flush. Every number of every class is swept
// in sweep_test.

#include <climits>
#include <cstdio>
#include <utility>

#include "gauge/face.h"
#include "module_state.h"

namespace {

class KeyEvents : public ModuleStateTest {
  protected:
    void SetUp() override {
        ModuleStateTest::SetUp();
        start_clock();
    }
};

// Each class in a fresh log: its exact record (times masked; "" for none),
// and a count and name only for what it writes. The open is attempted
// whatever the class, so the file is there even when nothing was written.
TEST_F(KeyEvents, EachClassWritesItsExactRecordAndCountsWhatItWrites) {
    const struct {
        uint32_t id, data;
        int32_t axis_events;
        const char *record, *name; // name null: last_event_name unchanged
    } cases[] = {
        {0xFFFF, 1, 1, "", nullptr},
        {0x10000, 0, 0, "\r\n Time=T; id=0; event_in=KEY_ID_MIN; evdata=0", "KEY_ID_MIN"},
        {0x10006, 7, 0, "\r\n Time=T; id=6; event_in=null; evdata=7", "null"},
        {0x100E2, 16383, 0, "", nullptr},
        {0x100E2, 16383, 1, "\r\n Time=T; id=226; event_in=KEY_AXIS_ELEVATOR_SET; evdata=16383",
         "KEY_AXIS_ELEVATOR_SET"},
        {0x100E7, 5, 0, "\r\n Time=T; id=231; event_in=KEY_PROP_PITCH_SET; evdata=5",
         "KEY_PROP_PITCH_SET"},
        {0x11000, 42, 0, "\r\n Time= T id= 4096 event_in= User_Defined_Event evdata= 42",
         "User_Defined_Event"},
        {0xFFFFFFFF, 0xFFFFFFFF, 0,
         "\r\n Time= T id= -65537 event_in= User_Defined_Event evdata= -1", "User_Defined_Event"},
    };
    static const char earlier_name[] = "EARLIER";
    for (const auto& c : cases) {
        fs::remove(log_name);
        event_count = 0;
        last_event_name = earlier_name;
        axis_events_enabled = c.axis_events;
        EXPECT_EQ(on_key_event(c.id, c.data, nullptr), 0);
        close_log();
        EXPECT_EQ(masked_log(), c.record) << std::hex << c.id;
        EXPECT_EQ(event_count, c.name != nullptr ? 1 : 0) << std::hex << c.id;
        EXPECT_STREQ(last_event_name, c.name != nullptr ? c.name : earlier_name)
            << std::hex << c.id;
        EXPECT_TRUE(fs::exists(log_name)) << std::hex << c.id;
    }
}

// A log that cannot be opened (a directory in its place) loses the records,
// not the count or the name; the open is retried at the next event.
TEST_F(KeyEvents, UnopenableLogDropsRecordsUntilItCanBeOpened) {
    fs::create_directory(log_name);
    on_key_event(0x10022, 0, nullptr);
    on_key_event(0x11000, 0, nullptr);
    EXPECT_EQ(log_file, nullptr);
    EXPECT_EQ(event_count, 2);
    EXPECT_STREQ(last_event_name, "User_Defined_Event");
    for (int32_t state : {0, 1}) { // Activate's flags follow the clicks all the same
        toggle_logging(nullptr, 0);
        EXPECT_EQ(std::pair(logging_state, logging_enabled), std::pair(state, state));
    }
    fs::remove(log_name);
    on_key_event(0x10000, 9, nullptr);
    close_log();
    EXPECT_EQ(masked_log(), "\r\n Time=T; id=0; event_in=KEY_ID_MIN; evdata=9");
}

// The count wraps from the largest to the smallest 32-bit value; the counter
// shows at least five digits, and the sign once the count has wrapped.
TEST_F(KeyEvents, CountWrapsAndCounterText) {
    axis_events_enabled = 1;
    for (uint32_t id : {0x10022u, 0x100E2u, 0x11000u}) {
        event_count = INT32_MAX;
        on_key_event(id, 0, nullptr);
        EXPECT_EQ(event_count, INT32_MIN) << std::hex << id;
        on_key_event(id, 0, nullptr);
        EXPECT_EQ(event_count, INT32_MIN + 1) << std::hex << id;
    }
    char text[COUNTER_TEXT_LENGTH]; // the longest text fits the face's length

    ELEMENT_STRING element{};
    element.string = text;
    element.max_string_length = sizeof text;
    for (const auto& [count, expected] : {std::pair{0, "Events = 00000"},
                                          {99999, "Events = 99999"},
                                          {100000, "Events = 100000"},
                                          {INT32_MIN, "Events = -2147483648"}}) {
        event_count = count;
        event_count_text(&element);
        EXPECT_STREQ(text, expected);
    }
}

std::string file_text(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The fifth handler call, of whatever classes, flushes every stream of the
// runtime: the log's records, and text waiting in a stream the module never
// opened. Both are read back through handles of their own.
TEST_F(KeyEvents, FifthCallFlushesEveryStream) {
    FILE* other = std::fopen("other.txt", "wb");
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(std::setvbuf(other, nullptr, _IOFBF, 4096), 0);
    std::fputs("text the module did not write", other);
    const std::string expected = "\r\n Time=T; id=34; event_in=KEY_GEAR_TOGGLE; evdata=1"
                                 "\r\n Time= T id= 4096 event_in= User_Defined_Event evdata= 2"
                                 "\r\n Time=T; id=25; event_in=KEY_PAUSE_TOGGLE; evdata=3";
    on_key_event(0xFFFF, 0, nullptr);  // below range
    on_key_event(0x100E2, 0, nullptr); // axis, axis logging off
    on_key_event(0x10022, 1, nullptr);
    on_key_event(0x11000, 2, nullptr);
    // Not flushed yet. The Windows runtime under Wine writes the log out at
    // line feeds, so earlier records may be there, but not the last one.
    const std::string before = masked_log();
    EXPECT_EQ(before.find("User_Defined_Event"), std::string::npos) << before;
    EXPECT_EQ(expected.compare(0, before.size(), before), 0) << before;
    EXPECT_EQ(file_text("other.txt"), "");
    on_key_event(0x10019, 3, nullptr);
    EXPECT_EQ(masked_log(), expected);
    EXPECT_EQ(file_text("other.txt"), "text the module did not write");
    std::fclose(other);
    // The flush follows the handler's own count, whatever the controls and
    // start and stop do in between (a stream they left open would show here).
    flush_counter = 3;
    toggle_logging(nullptr, 0);
    toggle_logging(nullptr, 0);
    restart_log(nullptr, 0);
    module_init();
    module_deinit();
    on_key_event(0x11000, 0, nullptr); // opens the log again
    EXPECT_EQ(read_log().find("User_Defined_Event"), std::string::npos);
    on_key_event(0x11000, 0, nullptr);
    EXPECT_TRUE(read_log().ends_with("event_in= User_Defined_Event evdata= 0")) << read_log();
}

} // namespace
