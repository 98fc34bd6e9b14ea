// Unit tests of the key-event handler: the count's wrap and the counter
// text, and the periodic flush. Every number of every class is swept in
// sweep_test, the exact records of each class are in the event-kinds
// scenario's golden log, and a log that cannot be opened is log_test's.

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
    on_key_event(0xFFFF, 0, nullptr); // below range: not counted, but the log is opened
    EXPECT_NE(log_file, nullptr);
    on_key_event(0x100E2, 0, nullptr); // axis, axis logging off
    on_key_event(0x10022, 1, nullptr);
    on_key_event(0x11000, 2, nullptr);
    // Not flushed yet. The Windows runtime under Wine writes the log out at
    // line feeds, so earlier records may be there, but not the last one.
    const std::string before = masked_log();
    EXPECT_EQ(before.find("User_Defined_Event"), std::string::npos) << before;
    EXPECT_EQ(expected.compare(0, before.size(), before), 0) << before;
    EXPECT_EQ(read_log("other.txt"), "");
    on_key_event(0x10019, 3, nullptr);
    EXPECT_EQ(masked_log(), expected);
    EXPECT_EQ(read_log("other.txt"), "text the module did not write");
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
