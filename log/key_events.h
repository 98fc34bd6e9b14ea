// The key-event handler: classifies, counts, names and records every key
// event the simulator delivers.
#pragma once

#include <cstdint>

#include "interface/event_numbers.h"

// ---- Event numbers -------------------------------------------------------------
// Below KEY_EVENT_BASE: no key event, ignored. From there to
// USER_DEFINED_START: the simulator's key events, named from the table.
// From USER_DEFINED_START up: add-ons' events (interface/event_numbers.h).

// Runs of event numbers, first and last included.
struct EventRun {
    uint32_t first;
    uint32_t last;
};

// The seven continuous axis events, which arrive for as long as a control
// moves: counted and logged only while axis logging is on.
constexpr EventRun AXIS_EVENT_RUNS[] = {
    {0x100E2, 0x100E6}, // KEY_AXIS_ELEVATOR_SET, AILERONS, RUDDER, THROTTLE and ELEV_TRIM_SET
    {0x102F3, 0x102F4}, // KEY_AXIS_PROPELLER_SET, KEY_AXIS_MIXTURE_SET
};

constexpr int32_t FLUSH_PERIOD = 5;       // handler calls per flush of all streams
constexpr int64_t RETRY_PERIOD_MS = 1000; // the handler's opens while none is open, at most

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
