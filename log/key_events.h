// The key-event handler: classifies, counts, names and records every key
// event the simulator delivers.
#pragma once

#include <cstdint>

// ---- Event numbers -------------------------------------------------------------

constexpr uint32_t KEY_EVENT_BASE = 0x10000;     // lowest key event; subtracted from every id
constexpr uint32_t KEY_EVENT_SPAN = 0x1000;      // 0x10000 .. 0x10FFF are looked up by name
constexpr uint32_t USER_DEFINED_START = 0x11000; // from here up: third-party events
constexpr int32_t FLUSH_PERIOD = 5;              // handler calls per flush of all streams
constexpr int64_t RETRY_PERIOD_MS = 1000;        // the handler's opens while none is open, at most

// ---- State ---------------------------------------------------------------------

extern int32_t event_count;         // events counted since load or the last restart
extern const char* last_event_name; // name of the last counted event, or null
extern int32_t flush_counter;       // handler calls since the last periodic flush
extern int32_t logging_enabled;     // records are written only while non-zero
extern int32_t axis_events_enabled; // the seven axis events count only while non-zero

// Back to the values at load. The module itself never resets them (a module
// restart keeps them); tests do, through reset_module_state().
void reset_key_event_state();

// The gauge's controls and its service callback change the state here
// through these, so that only this file writes it.
void set_logging_enabled(int32_t enabled);
void set_axis_events_enabled(int32_t enabled);
void clear_event_count();

// ---- Aircraft check ------------------------------------------------------------
// When no gauge start marks a change of aircraft, the handler asks: a layer
// above installs a check here, which the handler calls before the record of
// a logged event that comes at least AIRCRAFT_CHECK_SECONDS after the
// aircraft was last asked for. It returns non-zero when it wrote a record of
// its own. Null, the value at load, is no check at all.

constexpr double AIRCRAFT_CHECK_SECONDS = 1.0;
using AircraftCheck = int32_t (*)();

void set_aircraft_check(AircraftCheck check);
// The aircraft was asked for just now: the next check waits its second.
void note_aircraft_asked();

// ---- Handler -------------------------------------------------------------------

int32_t on_key_event(uint32_t id, uint32_t data, void* user_data);

// Writes the records a log begins with when the module starts (the module
// installs it at start, as they need what only it knows). A log the handler
// opens after a failure begins with them too, so that readers see where
// the records after them belong. Null, as at load: nothing is written.
using LoadRecordsWriter = void (*)();
void set_load_records_writer(LoadRecordsWriter writer);
