// The key-event handler. Every call is sorted into one of four classes:
// user-defined (0x11000 and up), below the key range (ignored), one of the
// seven continuous axis events (ignored unless axis logging is on), or a key
// event named from the table. Every fifth call flushes all streams, so a
// crash of the simulator loses at most a few records. While logging is on
// and no log is open, it tries to open one once a second. Where no gauge
// start marks a change of aircraft, a check the module installs lets the
// handler name it, asking at most once a second.
#include "log/key_events.h"

#include "log/event_names.h"
#include "log/log_file.h"

int32_t event_count = 0;
const char* last_event_name = nullptr;
int32_t flush_counter = 0;
int32_t logging_enabled = 1;
int32_t axis_events_enabled = 0;
static AircraftCheck aircraft_check = nullptr;
static double aircraft_asked_at = 0.0; // when it last asked, in seconds since start
static LoadRecordsWriter load_records_writer = nullptr;

void reset_key_event_state() {
    event_count = 0;
    last_event_name = nullptr;
    flush_counter = 0;
    logging_enabled = 1;
    axis_events_enabled = 0;
    aircraft_check = nullptr;
    aircraft_asked_at = 0.0;
    load_records_writer = nullptr;
}

void set_load_records_writer(LoadRecordsWriter writer) {
    load_records_writer = writer;
}

void set_logging_enabled(int32_t enabled) {
    logging_enabled = enabled;
}

void set_axis_events_enabled(int32_t enabled) {
    axis_events_enabled = enabled;
}

void clear_event_count() {
    event_count = 0;
}

static const char USER_DEFINED_EVENT_NAME[] = "User_Defined_Event";

// ---- Classification ------------------------------------------------------------

static bool is_axis_event(uint32_t id) {
    for (const EventRun& run : AXIS_EVENT_RUNS)
        if (id >= run.first && id <= run.last)
            return true;
    return false;
}

// The count wraps from the largest to the smallest 32-bit value.
static void count_event() {
    event_count = (int32_t)((uint32_t)event_count + 1u);
}

// Ids and data are written as signed 32-bit values of their unsigned bits.
static int32_t as_signed(uint32_t value) {
    return (int32_t)value;
}

// ---- Aircraft check ------------------------------------------------------------

void set_aircraft_check(AircraftCheck check) {
    aircraft_check = check;
}

void note_aircraft_asked() {
    aircraft_asked_at = elapsed_seconds();
}

// The time a logged event's record carries. The aircraft check goes by the
// same clock reading, so that an event pays for no reading of its own; only
// the event that asks reads the clock again, after what the check wrote.
static long double record_seconds() {
    double seconds = elapsed_seconds();
    if (aircraft_check != nullptr && seconds - aircraft_asked_at >= AIRCRAFT_CHECK_SECONDS) {
        aircraft_asked_at = seconds;
        if (aircraft_check() != 0)
            seconds = elapsed_seconds();
    }
    return seconds;
}

// ---- Handler -------------------------------------------------------------------

// No log is open while logging is on. After a failure (an open or a write
// that failed) the handler tries again a second after the last open at the
// earliest, so that a place that refuses the log costs each event on the
// simulator's thread a look at the system's tick count, not two opens and
// a folder check: the tick count costs next to nothing to read, where the
// module's clock costs more than the rest of such an event (under Wine,
// 150 ns). A log opened after a failure begins with the load records, as
// at start. A log never opened, or closed, is opened at once, as it was.
static void retry_open() {
    const bool after_failure = log_place == LOG_PLACE_UNWRITABLE;
    if (after_failure && (int64_t)GetTickCount64() - log_open_tick < RETRY_PERIOD_MS)
        return;
    open_log("a");
    if (after_failure && log_file != nullptr && load_records_writer != nullptr)
        load_records_writer();
}

int32_t on_key_event(uint32_t id, uint32_t data, void* /*user_data*/) {
    if (log_file == nullptr && logging_enabled != 0)
        retry_open();
    // Without a log no clock is read for a record that would be dropped.
    const bool writing = logging_enabled != 0 && log_file != nullptr;

    const char* name = nullptr;
    int32_t written_id = as_signed(id - KEY_EVENT_BASE);
    if (id >= USER_DEFINED_START) {
        count_event();
        last_event_name = USER_DEFINED_EVENT_NAME;
        if (writing)
            write_record(RECORD_USER_DEFINED_EVENT, record_seconds(), written_id,
                         USER_DEFINED_EVENT_NAME, as_signed(data));
    } else if (id < KEY_EVENT_BASE) {
        // Not a key event: not counted, named or written.
    } else if (is_axis_event(id)) {
        if (axis_events_enabled != 0) {
            count_event();
            name = lookup_event_name(id, "unknown");
        }
    } else {
        count_event();
        name = lookup_event_name(id, "null");
    }

    if (name != nullptr) {
        last_event_name = name;
        if (writing)
            write_record(RECORD_EVENT, record_seconds(), written_id, name, as_signed(data));
    }

    flush_counter++;
    if (flush_counter >= FLUSH_PERIOD) {
        flush_all();
        flush_counter = 0;
    }
    return 0;
}
