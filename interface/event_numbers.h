// The simulator's key-event numbers: its own key events from KEY_ID_MIN up,
// and add-ons' (third-party) events from THIRD_PARTY_EVENT_ID_MIN up, as its
// name table gives them. The key-event handler sorts every event by these
// bounds, and keywatch-log reads add-ons' numbers by them.
#pragma once

#include <cstdint>

constexpr uint32_t KEY_EVENT_BASE = 0x10000; // KEY_ID_MIN; a record's id is the number less this
constexpr uint32_t KEY_EVENT_SPAN = 0x1000;  // the numbers kept for the simulator's own key events
// THIRD_PARTY_EVENT_ID_MIN: from here up, add-ons' events, which the log
// writes as "User_Defined_Event".
constexpr uint32_t USER_DEFINED_START = KEY_EVENT_BASE + KEY_EVENT_SPAN;
