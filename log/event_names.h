// Event name table: pairs each known key-event number with its symbolic name.
#pragma once

#include <cstddef>
#include <cstdint>

struct EventNameEntry {
    uint32_t id;      // event number
    const char* name; // symbolic name, constant NUL-terminated ASCII
};

constexpr size_t event_name_rows = 1420; // 1,419 named rows, then the terminator

extern const EventNameEntry event_names[event_name_rows];

// Name of the first row whose id equals `id`, or `default_name` when there is none.
const char* lookup_event_name(uint32_t id, const char* default_name);
