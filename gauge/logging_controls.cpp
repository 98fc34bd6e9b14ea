// Activate and Reset. Both change their flags and counters whether or not the
// log could be opened; the key-event handler retries the open while logging
// is on. Both try every place afresh, those where a write failed included:
// a click is how the pilot says the disk has room again.
#include "gauge/logging_controls.h"

#include "gauge/aircraft.h"
#include "log/key_events.h"
#include "log/log_file.h"

int32_t logging_state = 1;

void reset_logging_controls_state() {
    logging_state = 1;
}

int32_t toggle_logging(PIXPOINT* /*point*/, uint32_t /*mouse_flags*/) {
    logging_state = 1 - logging_state;
    forget_failed_places();
    if (log_file == nullptr)
        open_log("a");
    if (logging_state == 1) {
        write_record(RECORD_LOGGING_STARTED, elapsed_seconds());
        set_logging_enabled(1);
    } else {
        write_record(RECORD_LOGGING_STOPPED, (long double)elapsed_seconds());
        flush_log();
        set_logging_enabled(0);
    }
    return 0;
}

int32_t restart_log(PIXPOINT* /*point*/, uint32_t /*mouse_flags*/) {
    close_log();
    forget_failed_places();
    open_log("w");
    set_logging_enabled(1);
    logging_state = 1;
    if (log_file != nullptr) {
        query_aircraft();
        write_record(RECORD_GAUGE_REFRESHED, (long double)elapsed_seconds(), module_path);
        write_record(RECORD_AIRCRAFT_TITLE, elapsed_seconds(), aircraft_title, aircraft_type,
                     aircraft_model);
        write_record(RECORD_LOGGING_STARTED, elapsed_seconds());
    }
    clear_event_count();
    return 0;
}
