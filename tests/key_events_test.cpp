// Unit tests of the key-event handler: the record each class of event
// number leaves in the log, counting and naming, the count's wrap and the
// counter text, the periodic flush, and a log that cannot be opened. Every
// number of every class is swept in sweep_test.

#include <climits>
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

// ---- One record per class -------------------------------------------------------

struct ClassCase {
    const char* label;
    uint32_t id;
    uint32_t data;
    int32_t axis_events; // axis_events_enabled while the event arrives
    const char* record;  // the whole log afterwards, times masked; "" for nothing
    const char* name;    // last_event_name afterwards; nullptr for unchanged
};

const ClassCase class_cases[] = {
    {"BelowKeyRange", 0xFFFF, 1, 1, "", nullptr},
    {"KeyIdMin", 0x10000, 0, 0, "\r\n Time=T; id=0; event_in=KEY_ID_MIN; evdata=0", "KEY_ID_MIN"},
    {"AfterSelect4HasNoRow", 0x10006, 7, 0, "\r\n Time=T; id=6; event_in=null; evdata=7", "null"},
    {"AxisWithAxisLoggingOff", 0x100E2, 16383, 0, "", nullptr},
    {"AxisWithAxisLoggingOn", 0x100E2, 16383, 1,
     "\r\n Time=T; id=226; event_in=KEY_AXIS_ELEVATOR_SET; evdata=16383", "KEY_AXIS_ELEVATOR_SET"},
    {"AfterAxisRange", 0x100E7, 5, 0, "\r\n Time=T; id=231; event_in=KEY_PROP_PITCH_SET; evdata=5",
     "KEY_PROP_PITCH_SET"},
    {"FirstUserDefined", 0x11000, 42, 0,
     "\r\n Time= T id= 4096 event_in= User_Defined_Event evdata= 42", "User_Defined_Event"},
    {"LargestNumberAndData", 0xFFFFFFFF, 0xFFFFFFFF, 0,
     "\r\n Time= T id= -65537 event_in= User_Defined_Event evdata= -1", "User_Defined_Event"},
};

class EventClasses : public KeyEvents, public ::testing::WithParamInterface<ClassCase> {};

TEST_P(EventClasses, WriteTheirExactRecordAndCountWhatTheyWrite) {
    const ClassCase& c = GetParam();
    static const char earlier_name[] = "EARLIER";
    last_event_name = earlier_name;
    axis_events_enabled = c.axis_events;

    EXPECT_EQ(on_key_event(c.id, c.data, nullptr), 0);
    close_log();
    EXPECT_EQ(masked_log(), c.record);
    const bool counted = c.name != nullptr;
    EXPECT_EQ(event_count, counted ? 1 : 0);
    EXPECT_STREQ(last_event_name, counted ? c.name : earlier_name);
    EXPECT_EQ(flush_counter, 1);
    // The open is attempted whatever the class, so the file is there even when
    // nothing was written to it.
    EXPECT_TRUE(fs::exists(log_name));
}

INSTANTIATE_TEST_SUITE_P(, EventClasses, ::testing::ValuesIn(class_cases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(KeyEvents, WhileLoggingIsOffCountAndNameButNeitherOpenNorWrite) {
    logging_enabled = 0;
    on_key_event(0x10022, 0, nullptr);
    on_key_event(0x11000, 0, nullptr);
    EXPECT_EQ(log_file, nullptr);
    EXPECT_FALSE(fs::exists(log_name));
    EXPECT_EQ(event_count, 2);
    EXPECT_STREQ(last_event_name, "User_Defined_Event");
    EXPECT_EQ(flush_counter, 2);
}

// ---- Count wrap and counter text ----------------------------------------------------

TEST_F(KeyEvents, CountWrapsFromLargestToSmallest) {
    axis_events_enabled = 1;
    for (uint32_t id : {0x10022u, 0x100E2u, 0x11000u}) {
        event_count = INT32_MAX;
        on_key_event(id, 0, nullptr);
        EXPECT_EQ(event_count, INT32_MIN) << std::hex << id;
        on_key_event(id, 0, nullptr);
        EXPECT_EQ(event_count, INT32_MIN + 1) << std::hex << id;
    }
}

// At least five digits, and the sign once the count has wrapped.
TEST_F(KeyEvents, CounterText) {
    char text[COUNTER_TEXT_LENGTH];
    ELEMENT_STRING element{};
    element.string = text;
    element.max_string_length = sizeof text;
    for (const auto& [count, expected] : {std::pair{0, "Events = 00000"},
                                          {1, "Events = 00001"},
                                          {99999, "Events = 99999"},
                                          {100000, "Events = 100000"},
                                          {INT32_MIN, "Events = -2147483648"}}) {
        event_count = count;
        event_count_text(&element);
        EXPECT_STREQ(text, expected);
    }
}

// ---- Periodic flush ---------------------------------------------------------------

TEST_F(KeyEvents, FifthCallOfAnyClassesFlushesEveryRecord) {
    const std::string expected = "\r\n Time=T; id=34; event_in=KEY_GEAR_TOGGLE; evdata=1"
                                 "\r\n Time= T id= 4096 event_in= User_Defined_Event evdata= 2"
                                 "\r\n Time=T; id=25; event_in=KEY_PAUSE_TOGGLE; evdata=3";
    on_key_event(0xFFFF, 0, nullptr);  // below range
    on_key_event(0x100E2, 0, nullptr); // axis, axis logging off
    on_key_event(0x10022, 1, nullptr);
    on_key_event(0x11000, 2, nullptr);
    EXPECT_EQ(flush_counter, 4);
    // Not flushed yet. On Linux nothing has reached the file; the Windows
    // runtime under Wine writes its buffer out at each line feed put through
    // fputc (as mingw's printf does), so records before the last may be there.
    // On both, the last record's text, which no line feed follows, is not.
    const std::string before = masked_log();
    EXPECT_EQ(before.find("User_Defined_Event"), std::string::npos) << before;
    EXPECT_EQ(expected.compare(0, before.size(), before), 0) << before;
    on_key_event(0x10019, 3, nullptr);
    EXPECT_EQ(flush_counter, 0);
    EXPECT_EQ(masked_log(), expected); // read through a new handle, the log still open
    ASSERT_NE(log_file, nullptr);
}

// Activate, Reset, start and stop leave the flush counter alone, and the
// flush follows the counter, not the calls since the log was opened.
TEST_F(KeyEvents, OnlyTheHandlerMovesTheFlushCounter) {
    flush_counter = 3;
    toggle_logging(nullptr, 0);
    toggle_logging(nullptr, 0);
    restart_log(nullptr, 0);
    module_init();
    module_deinit();
    EXPECT_EQ(flush_counter, 3);
    on_key_event(0x11000, 0, nullptr); // opens the log again
    EXPECT_EQ(read_log().find("User_Defined_Event"), std::string::npos);
    on_key_event(0x11000, 0, nullptr);
    EXPECT_TRUE(read_log().ends_with("event_in= User_Defined_Event evdata= 0"));
    for (int32_t expected : {1, 2, 3, 4, 0}) {
        on_key_event(0xFFFF, 0, nullptr);
        EXPECT_EQ(flush_counter, expected);
    }
}

// ---- A log that cannot be opened ----------------------------------------------------

TEST_F(KeyEvents, UnopenableLogDropsRecordsUntilItCanBeOpened) {
    fs::create_directory(log_name);
    on_key_event(0x10022, 0, nullptr);
    on_key_event(0x11000, 0, nullptr);
    EXPECT_EQ(log_file, nullptr);
    EXPECT_EQ(event_count, 2);
    EXPECT_STREQ(last_event_name, "User_Defined_Event");
    EXPECT_EQ(flush_counter, 2);
    // Activate's flags follow the clicks all the same.
    for (int32_t state : {0, 1}) {
        toggle_logging(nullptr, 0);
        EXPECT_EQ(logging_state, state);
        EXPECT_EQ(logging_enabled, state);
    }

    fs::remove(log_name);
    on_key_event(0x10000, 9, nullptr); // retried: this one creates the file
    ASSERT_NE(log_file, nullptr);
    EXPECT_EQ(event_count, 3);
    close_log();
    EXPECT_EQ(masked_log(), "\r\n Time=T; id=0; event_in=KEY_ID_MIN; evdata=9");
}

} // namespace
