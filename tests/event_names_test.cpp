// The event name table against its defining facts. That every number answers
// the first of its rows, or the caller's default, is swept in sweep_test.

#include "log/event_names.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <gtest/gtest.h>

namespace {

constexpr size_t named_rows = event_name_rows - 1;

// The named rows in order, each a key-span number or a third-party bound and
// named by a symbol (upper case letters, digits and underscores), then one
// terminator that no named row can be mistaken for.
TEST(EventNameTable, SortedSymbolRowsThenTheTerminator) {
    EXPECT_EQ(event_names[named_rows].id, 0xFFFFFFFFu);
    EXPECT_STREQ(event_names[named_rows].name, "");
    for (size_t i = 0; i < named_rows; ++i) {
        const uint32_t id = event_names[i].id;
        EXPECT_TRUE((id >= 0x10000 && id <= 0x107A4) || id == 0x11000 || id == 0x1FFFF)
            << "row " << i << " id 0x" << std::hex << id;
        EXPECT_LE(id, event_names[i + 1].id) << "row " << i;
        const char* name = event_names[i].name;
        ASSERT_NE(name, nullptr) << "row " << i;
        EXPECT_TRUE(*name != '\0' &&
                    std::strspn(name, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") == std::strlen(name))
            << "row " << i << ": " << name;
    }
}

// Exactly eight numbers carry two rows (eight pairs of equal neighbours in
// all: no third row, no other pair), in this order.
TEST(EventNameTable, TheEightDoubledNumbersInOrder) {
    const struct {
        uint32_t id;
        const char *first, *second;
    } doubled[] = {
        {0x10000, "KEY_ID_MIN", "KEY_NULL"},
        {0x10001, "KEY_DEMO_STOP", "KEY_REPLAY_STOP"},
        {0x1002B, "KEY_DEMO_RECORD_STOP", "KEY_ANALYSIS_MANEUVER_STOP"},
        {0x10043, "KEY_FLAPS_4", "KEY_FLAPS_DOWN"},
        {0x101E7, "KEY_MAGNETO_OFF", "KEY_STARTER_OFF"},
        {0x101E8, "KEY_MAGNETO_RIGHT", "KEY_STARTER_START"},
        {0x101E9, "KEY_MAGNETO_LEFT", "KEY_STARTER_GEN"},
        {0x10344, "KEY_COM_STBY_RADIO_SWITCH_TO", "KEY_COM_RADIO_SWAP"},
    };
    size_t pairs = 0;
    for (size_t i = 1; i < named_rows; ++i)
        pairs += event_names[i - 1].id == event_names[i].id ? 1 : 0;
    EXPECT_EQ(pairs, 8u);
    for (const auto& d : doubled) {
        const EventNameEntry* row = std::find_if(event_names, event_names + named_rows,
                                                 [&](const auto& e) { return e.id == d.id; });
        ASSERT_LT(row + 1, event_names + named_rows) << d.first;
        EXPECT_STREQ(row[0].name, d.first);
        EXPECT_EQ(row[1].id, d.id) << d.second;
        EXPECT_STREQ(row[1].name, d.second);
    }
}

// The last named key event, the third-party bounds and one late in the
// table, to catch an off-by-one in the table's numbering (the first, the
// axis numbers and their neighbour are in the scenarios' golden logs).
TEST(EventNameTable, NamedNumbers) {
    const std::pair<uint32_t, const char*> named[] = {
        {0x107A4, "KEY_RUDDER_TRIM_AID_SWITCH_SET"},
        {0x11000, "THIRD_PARTY_EVENT_ID_MIN"},
        {0x1FFFF, "THIRD_PARTY_EVENT_ID_MAX"},
        {0x10701, "KEY_HOTAS_KEY_B9"},
    };
    for (const auto& [id, name] : named)
        EXPECT_STREQ(lookup_event_name(id, "null"), name) << std::hex << id;
}

} // namespace
