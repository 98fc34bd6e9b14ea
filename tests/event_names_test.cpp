// Tests of the event name table against its defining facts. That every
// number answers the first of its rows is swept in sweep_test.

#include "log/event_names.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <gtest/gtest.h>

namespace {

constexpr size_t named_rows = event_name_rows - 1;

// ---- Shape ----------------------------------------------------------------------------

// The named rows in order, each a key-span number or a third-party bound,
// then one terminator that no named row can be mistaken for.
TEST(EventNameTable, SortedNamedRowsThenTheTerminator) {
    EXPECT_EQ(event_name_rows, 1420u);
    EXPECT_EQ(event_names[named_rows].id, 0xFFFFFFFFu);
    EXPECT_STREQ(event_names[named_rows].name, "");
    for (size_t i = 0; i < named_rows; ++i) {
        const uint32_t id = event_names[i].id;
        EXPECT_TRUE((id >= 0x10000 && id <= 0x107A4) || id == 0x11000 || id == 0x1FFFF)
            << "row " << i << " id 0x" << std::hex << id;
        EXPECT_LE(id, event_names[i + 1].id) << "row " << i;
    }
}

// Non-empty, upper case letters, digits and underscores, 45 characters at most.
TEST(EventNameTable, NamesAreSymbols) {
    size_t longest = 0;
    for (size_t i = 0; i < named_rows; ++i) {
        const char* name = event_names[i].name;
        ASSERT_NE(name, nullptr) << "row " << i;
        const size_t length = std::strlen(name);
        EXPECT_GT(length, 0u) << "row " << i;
        for (const char* c = name; *c != '\0'; ++c)
            EXPECT_TRUE((*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '_') << name;
        longest = std::max(longest, length);
    }
    EXPECT_EQ(longest, 45u);
}

// ---- Doubled numbers ------------------------------------------------------------------

struct DoubledNumber {
    uint32_t id;
    const char* first;
    const char* second;
};

constexpr DoubledNumber doubled_numbers[] = {
    {0x10000, "KEY_ID_MIN", "KEY_NULL"},
    {0x10001, "KEY_DEMO_STOP", "KEY_REPLAY_STOP"},
    {0x1002B, "KEY_DEMO_RECORD_STOP", "KEY_ANALYSIS_MANEUVER_STOP"},
    {0x10043, "KEY_FLAPS_4", "KEY_FLAPS_DOWN"},
    {0x101E7, "KEY_MAGNETO_OFF", "KEY_STARTER_OFF"},
    {0x101E8, "KEY_MAGNETO_RIGHT", "KEY_STARTER_START"},
    {0x101E9, "KEY_MAGNETO_LEFT", "KEY_STARTER_GEN"},
    {0x10344, "KEY_COM_STBY_RADIO_SWITCH_TO", "KEY_COM_RADIO_SWAP"},
};

// Exactly these eight numbers carry two rows (eight pairs of equal
// neighbours in all: no third row, no other pair), and each answers the
// pointer of its first row.
TEST(EventNameTable, TheEightDoubledNumbersAnswerTheirFirstName) {
    size_t pairs = 0;
    for (size_t i = 1; i < named_rows; ++i)
        pairs += event_names[i - 1].id == event_names[i].id ? 1 : 0;
    EXPECT_EQ(pairs, 8u);
    for (const DoubledNumber& d : doubled_numbers) {
        const EventNameEntry* row = std::find_if(event_names, event_names + named_rows,
                                                 [&](const auto& e) { return e.id == d.id; });
        ASSERT_LT(row + 1, event_names + named_rows) << d.first;
        EXPECT_STREQ(row[0].name, d.first);
        EXPECT_EQ(row[1].id, d.id) << d.second;
        EXPECT_STREQ(row[1].name, d.second);
        EXPECT_EQ(lookup_event_name(d.id, "null"), row[0].name) << d.first;
    }
}

// ---- Lookup ---------------------------------------------------------------------------

// The first and last named key events, the third-party bounds, the seven
// axis numbers and the one after them, and names from the middle and ends of
// long runs, to catch an off-by-one in the table's numbering.
TEST(EventNameLookup, NamedNumbers) {
    const std::pair<uint32_t, const char*> named[] = {
        {0x10000, "KEY_ID_MIN"},
        {0x107A4, "KEY_RUDDER_TRIM_AID_SWITCH_SET"},
        {0x11000, "THIRD_PARTY_EVENT_ID_MIN"},
        {0x1FFFF, "THIRD_PARTY_EVENT_ID_MAX"},
        {0x100E2, "KEY_AXIS_ELEVATOR_SET"},
        {0x100E3, "KEY_AXIS_AILERONS_SET"},
        {0x100E4, "KEY_AXIS_RUDDER_SET"},
        {0x100E5, "KEY_AXIS_THROTTLE_SET"},
        {0x100E6, "KEY_AXIS_ELEV_TRIM_SET"},
        {0x102F3, "KEY_AXIS_PROPELLER_SET"},
        {0x102F4, "KEY_AXIS_MIXTURE_SET"},
        {0x100E7, "KEY_PROP_PITCH_SET"},
        {0x10005, "KEY_SELECT_4"},
        {0x10019, "KEY_PAUSE_TOGGLE"},
        {0x10022, "KEY_GEAR_TOGGLE"},
        {0x10028, "KEY_VIEW_WINDOW_TO_FRONT"},
        {0x100A2, "KEY_FLAPS_SET"},
        {0x100D8, "KEY_PARKING_BRAKES"},
        {0x1011C, "KEY_THROTTLE1_SET"},
        {0x10200, "KEY_SLEW_SET"},
        {0x1035A, "KEY_RELEASE_DROP_TANK_2"},
        {0x1042A, "KEY_GPS_POWER_BUTTON"},
        {0x10701, "KEY_HOTAS_KEY_B9"},
    };
    for (const auto& [id, name] : named)
        EXPECT_STREQ(lookup_event_name(id, "null"), name) << std::hex << id;
}

// 0x10006 follows KEY_SELECT_4; 0x10029 and 0x1002A follow KEY_VIEW_WINDOW_TO_FRONT.
TEST(EventNameLookup, GapsGiveBackTheCallersDefaultPointer) {
    static const char null_name[] = "null", unknown_name[] = "unknown";
    for (uint32_t id : {0x10006u, 0x10029u, 0x1002Au, 0x107A5u, 0x10FFFu})
        for (const char* fallback : {null_name, unknown_name})
            EXPECT_EQ(lookup_event_name(id, fallback), fallback) << std::hex << id;
}

} // namespace
