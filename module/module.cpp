// How the simulator finds keywatch and how it starts and stops: Linkage and
// ImportTable, the DLL entry point, the start routine that arms the key-event
// handler and writes the load records, and the stop routine that writes the
// closing records.
#include "module/module.h"

#include "gauge/aircraft.h"
#include "gauge/gauge.h"
#include "gauge/logging_controls.h"
#include "log/key_events.h"
#include "log/log_file.h"

// ---- Exported records ----------------------------------------------------------

extern "C" {
KEYWATCH_EXPORT MODULE_LINKAGE Linkage = {
    MODULE_LINKAGE_ID,        module_init, module_deinit, 0, 0, MODULE_LINKAGE_VERSION,
    {&gauge_header, nullptr},
};

KEYWATCH_EXPORT IMPORT_TABLE ImportTable = {
    {IMPORT_PANELS_ID, nullptr}, // the simulator sets its service table here
    {0, nullptr},
};
}

// ---- State ---------------------------------------------------------------------

HINSTANCE module_handle = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
    module_handle = instance;
    return 1;
}

// ---- Start and stop --------------------------------------------------------------

void module_init() {
    start_clock();
    GetModuleFileNameA(module_handle, module_path, TEXT_BUFFER_SIZE);
    PANELS* panels = ImportTable.panels.table;
    if (panels != nullptr && panels->register_key_event_handler != nullptr)
        panels->register_key_event_handler(on_key_event, nullptr);
    if (log_file == nullptr)
        open_log("a");
    query_aircraft();
    write_record(RECORD_AIRCRAFT_LOADED, elapsed_seconds(), aircraft_title, aircraft_type,
                 aircraft_model);
    write_record(RECORD_GAUGE_LOADED, (long double)elapsed_seconds(), module_path);
}

void module_deinit() {
    PANELS* panels = ImportTable.panels.table;
    if (panels != nullptr && panels->unregister_key_event_handler != nullptr)
        panels->unregister_key_event_handler(on_key_event, nullptr);
    if (log_file != nullptr) {
        if (logging_enabled != 0)
            write_record(RECORD_LOGGING_STOPPED, (long double)elapsed_seconds());
        write_record(RECORD_LOG_FILE_CLOSED, (long double)elapsed_seconds());
        close_log();
    }
}

// ---- Back to the state at load ---------------------------------------------------

void reset_module_state() {
    reset_log_file_state();
    reset_key_event_state();
    reset_logging_controls_state();
    reset_gauge_state();
    reset_aircraft_state();
    ImportTable.panels.table = nullptr;
}
