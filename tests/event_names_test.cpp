// Tests of the event name table against its defining facts.

#include "log/event_names.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

constexpr uint32_t terminator_id = 0xFFFFFFFF;
constexpr size_t named_rows = event_name_rows - 1;
constexpr size_t longest_name = 45;

// Index of the first row carrying `id`, or event_name_rows when none does.
size_t first_row_of(uint32_t id) {
    for (size_t i = 0; i < named_rows; ++i) {
        if (event_names[i].id == id) {
            return i;
        }
    }
    return event_name_rows;
}

// --- Shape: row count, terminator, range ---

TEST(EventNameTableShape, HasOneThousandFourHundredTwentyRows) {
    EXPECT_EQ(event_name_rows, 1420u);
    EXPECT_EQ(sizeof(event_names) / sizeof(event_names[0]), event_name_rows);
}

TEST(EventNameTableShape, TerminatorIsLastRowOnly) {
    const EventNameEntry& last = event_names[event_name_rows - 1];
    EXPECT_EQ(last.id, terminator_id);
    ASSERT_NE(last.name, nullptr);
    EXPECT_STREQ(last.name, "");
    for (size_t i = 0; i < named_rows; ++i) {
        EXPECT_NE(event_names[i].id, terminator_id) << "row " << i;
    }
}

TEST(EventNameTableShape, NamedIdsLieInKeySpanOrAreThirdPartyBounds) {
    for (size_t i = 0; i < named_rows; ++i) {
        const uint32_t id = event_names[i].id;
        const bool in_key_range = id >= 0x10000 && id <= 0x107A4;
        EXPECT_TRUE(in_key_range || id == 0x11000 || id == 0x1FFFF)
            << "row " << i << " id 0x" << std::hex << id;
    }
}

// --- Order ---

TEST(EventNameTableOrder, IdsAreNonDecreasing) {
    for (size_t i = 1; i < event_name_rows; ++i) {
        EXPECT_LE(event_names[i - 1].id, event_names[i].id) << "rows " << i - 1 << ", " << i;
    }
}

// --- Doubled numbers ---

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

TEST(EventNameTableDoubled, ExactlyTheEightKnownNumbersCarryTwoRows) {
    size_t found = 0;
    for (size_t i = 1; i < named_rows; ++i) {
        if (event_names[i - 1].id != event_names[i].id) {
            continue;
        }
        bool known = false;
        for (const DoubledNumber& d : doubled_numbers) {
            known = known || d.id == event_names[i].id;
        }
        EXPECT_TRUE(known) << "unexpected doubled id 0x" << std::hex << event_names[i].id;
        if (i + 1 < named_rows) {
            EXPECT_NE(event_names[i + 1].id, event_names[i].id) << "three rows for one id";
        }
        ++found;
    }
    EXPECT_EQ(found, 8u);
}

TEST(EventNameTableDoubled, LookupAnswersFirstNameAndSecondFollows) {
    for (const DoubledNumber& d : doubled_numbers) {
        const size_t row = first_row_of(d.id);
        ASSERT_LT(row + 1, named_rows) << d.first;
        EXPECT_STREQ(event_names[row].name, d.first);
        EXPECT_EQ(event_names[row + 1].id, d.id) << d.second;
        EXPECT_STREQ(event_names[row + 1].name, d.second);
        EXPECT_EQ(lookup_event_name(d.id, "null"), event_names[row].name) << d.first;
    }
}

// --- Lookup ---

TEST(EventNameLookup, FirstAndLastNamedIds) {
    EXPECT_STREQ(lookup_event_name(0x10000, "null"), "KEY_ID_MIN");
    EXPECT_STREQ(lookup_event_name(0x107A4, "null"), "KEY_RUDDER_TRIM_AID_SWITCH_SET");
    EXPECT_EQ(event_names[0].id, 0x10000u);
}

TEST(EventNameLookup, GapsGiveBackTheCallersDefaultPointer) {
    static const char fallback[] = "null";
    static const char other_fallback[] = "unknown";
    // 0x10006 follows KEY_SELECT_4; 0x10029 and 0x1002A follow KEY_VIEW_WINDOW_TO_FRONT.
    for (uint32_t id : {0x10006u, 0x10029u, 0x1002Au, 0x107A5u, 0x10FFFu}) {
        EXPECT_EQ(lookup_event_name(id, fallback), fallback) << std::hex << id;
        EXPECT_EQ(lookup_event_name(id, other_fallback), other_fallback) << std::hex << id;
    }
    EXPECT_STREQ(lookup_event_name(0x10005, "null"), "KEY_SELECT_4");
    EXPECT_STREQ(lookup_event_name(0x10028, "null"), "KEY_VIEW_WINDOW_TO_FRONT");
}

TEST(EventNameLookup, ThirdPartyBounds) {
    EXPECT_STREQ(lookup_event_name(0x11000, "null"), "THIRD_PARTY_EVENT_ID_MIN");
    EXPECT_STREQ(lookup_event_name(0x1FFFF, "null"), "THIRD_PARTY_EVENT_ID_MAX");
}

TEST(EventNameLookup, SevenAxisNumbers) {
    EXPECT_STREQ(lookup_event_name(0x100E2, "unknown"), "KEY_AXIS_ELEVATOR_SET");
    EXPECT_STREQ(lookup_event_name(0x100E3, "unknown"), "KEY_AXIS_AILERONS_SET");
    EXPECT_STREQ(lookup_event_name(0x100E4, "unknown"), "KEY_AXIS_RUDDER_SET");
    EXPECT_STREQ(lookup_event_name(0x100E5, "unknown"), "KEY_AXIS_THROTTLE_SET");
    EXPECT_STREQ(lookup_event_name(0x100E6, "unknown"), "KEY_AXIS_ELEV_TRIM_SET");
    EXPECT_STREQ(lookup_event_name(0x102F3, "unknown"), "KEY_AXIS_PROPELLER_SET");
    EXPECT_STREQ(lookup_event_name(0x102F4, "unknown"), "KEY_AXIS_MIXTURE_SET");
    // The axis range ends at 0x100E6; its neighbour is an ordinary key event.
    EXPECT_STREQ(lookup_event_name(0x100E7, "unknown"), "KEY_PROP_PITCH_SET");
}

TEST(EventNameLookup, EveryNamedIdAnswersItsFirstRowPointer) {
    for (size_t i = 0; i < named_rows; ++i) {
        const uint32_t id = event_names[i].id;
        EXPECT_EQ(lookup_event_name(id, nullptr), event_names[first_row_of(id)].name)
            << "row " << i;
    }
}

// Names from the middle and ends of long runs, to catch an off-by-one in the table's numbering.
TEST(EventNameLookup, SpotChecksInsideLongRuns) {
    EXPECT_STREQ(lookup_event_name(0x10019, "null"), "KEY_PAUSE_TOGGLE");
    EXPECT_STREQ(lookup_event_name(0x10022, "null"), "KEY_GEAR_TOGGLE");
    EXPECT_STREQ(lookup_event_name(0x100A2, "null"), "KEY_FLAPS_SET");
    EXPECT_STREQ(lookup_event_name(0x100D8, "null"), "KEY_PARKING_BRAKES");
    EXPECT_STREQ(lookup_event_name(0x1011C, "null"), "KEY_THROTTLE1_SET");
    EXPECT_STREQ(lookup_event_name(0x10200, "null"), "KEY_SLEW_SET");
    EXPECT_STREQ(lookup_event_name(0x1035A, "null"), "KEY_RELEASE_DROP_TANK_2");
    EXPECT_STREQ(lookup_event_name(0x1042A, "null"), "KEY_GPS_POWER_BUTTON");
    EXPECT_STREQ(lookup_event_name(0x10701, "null"), "KEY_HOTAS_KEY_B9");
}

// --- Names ---

TEST(EventNameTableNames, NonEmptyUpperCaseDigitsUnderscoresAtMostFortyFive) {
    size_t longest = 0;
    for (size_t i = 0; i < named_rows; ++i) {
        const char* name = event_names[i].name;
        ASSERT_NE(name, nullptr) << "row " << i;
        const size_t length = std::strlen(name);
        EXPECT_GT(length, 0u) << "row " << i;
        EXPECT_LE(length, longest_name) << name;
        for (const char* c = name; *c != '\0'; ++c) {
            const bool allowed = (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '_';
            EXPECT_TRUE(allowed) << name;
        }
        longest = length > longest ? length : longest;
    }
    EXPECT_EQ(longest, longest_name);
}

} // namespace
