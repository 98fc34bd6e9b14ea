// How the simulator finds keywatch and how it starts and stops: Linkage, the
// DLL entry point, the start routine that arms the key-event handler and
// writes the load records, and the stop routine that writes the closing
// records. (ImportTable, through which the simulator hands over its service
// table, is the gauge's: gauge/service_table.cpp.) The simulator may also load the module as a DLL
// component at its own start (Panels, DLLStart, DLLStop), and a panel may name it besides: the
// first of the two owners to start it arms the handler, the last to stop it closes the log.
#include "module/module.h"

#include "gauge/aircraft.h"
#include "gauge/gauge.h"
#include "gauge/logging_controls.h"
#include "gauge/service_table.h"
#include "log/key_events.h"
#include "log/log_file.h"

// ---- Exported records ----------------------------------------------------------

extern "C" {
KEYWATCH_EXPORT MODULE_LINKAGE Linkage = {
    MODULE_LINKAGE_ID,        module_init, module_deinit, 0, 0, MODULE_LINKAGE_VERSION,
    {&gauge_header, nullptr},
};

// The simulator's loader writes its service table here when it loads the
// module as a DLL component.
KEYWATCH_EXPORT PANELS* Panels = nullptr;
}

// ---- State ---------------------------------------------------------------------

HINSTANCE module_handle = nullptr;

// Who holds the module: the DLL component from DLLStart to DLLStop, the
// panel system from the start routine to the stop routine. One process has
// one copy of the module whoever loaded it, so both may hold it at once.
static int32_t component_holds = 0;
static int32_t panel_holds = 0;

// A module unloaded by FreeLibrary without its stop routine leaves its log
// open in the runtime, which outlives it: the records still buffered would
// reach the file later, behind others, and the stream would never be
// freed. So the log is flushed and closed here. Not at process exit
// (reserved set), where the runtime flushes and closes its streams itself.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    module_handle = instance;
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr)
        close_log();
    return 1;
}

// ---- Start and stop --------------------------------------------------------------

static void write_aircraft_loaded() {
    write_record(RECORD_AIRCRAFT_LOADED, elapsed_seconds(), aircraft_title, aircraft_type,
                 aircraft_model);
}

// The two records that begin a block, the aircraft asked for afresh: at
// every start, so that each panel the simulator builds names its aircraft,
// and where the handler opens the log after a failure.
static void begin_block() {
    if (log_file == nullptr)
        open_log("a");
    query_aircraft();
    note_aircraft_asked();
    write_aircraft_loaded();
    write_record(RECORD_GAUGE_LOADED, (long double)elapsed_seconds(), module_path);
}

// The start of an owner that finds the module held by no other.
static void start_module() {
    start_clock();
    find_module_path(module_handle);
    set_load_records_writer(begin_block);
    PANELS* panels = service_table();
    if (panels != nullptr && panels->register_key_event_handler != nullptr)
        panels->register_key_event_handler(on_key_event, nullptr);
    begin_block();
}

// The stop of the last owner.
static void stop_module() {
    PANELS* panels = service_table();
    if (panels != nullptr && panels->unregister_key_event_handler != nullptr)
        panels->unregister_key_event_handler(on_key_event, nullptr);
    if (log_file != nullptr) {
        if (logging_enabled != 0)
            write_record(RECORD_LOGGING_STOPPED, (long double)elapsed_seconds());
        write_record(RECORD_LOG_FILE_CLOSED, (long double)elapsed_seconds());
        close_log();
    }
}

// A panel that names keywatch was built. While the DLL component holds the
// module, the handler is registered and the clock runs already: the panel's
// start only marks its aircraft.
void module_init() {
    if (component_holds != 0)
        begin_block();
    else
        start_module();
    panel_holds = 1;
}

// That panel went. While the DLL component holds the module, logging goes on
// as if nothing happened.
void module_deinit() {
    panel_holds = 0;
    if (component_holds == 0)
        stop_module();
}

// ---- The DLL component -------------------------------------------------------------

// While the DLL component holds the module, an aircraft whose panel does not
// name keywatch starts nothing, so the handler asks about the aircraft itself
// and this names a new one before the next record.
static int32_t name_changed_aircraft() {
    if (aircraft_title_changed() == 0)
        return 0;
    query_aircraft();
    write_aircraft_loaded();
    return 1;
}

// The simulator's loader calls it once it has filled Panels, before any
// flight exists. A host that offers no service table gets nothing done: no
// service may be used. Started while the panel system holds the module, it
// writes nothing: the panel's start has named the aircraft.
extern "C" KEYWATCH_EXPORT void DLLStart() {
    if (Panels == nullptr || component_holds != 0)
        return;
    if (service_table() == nullptr)
        set_service_table(Panels);
    component_holds = 1;
    set_aircraft_check(name_changed_aircraft);
    if (panel_holds == 0)
        start_module();
}

// At the simulator's exit. While a panel still holds the module, that
// panel's stop ends it.
extern "C" KEYWATCH_EXPORT void DLLStop() {
    if (component_holds == 0)
        return;
    component_holds = 0;
    set_aircraft_check(nullptr);
    if (panel_holds == 0)
        stop_module();
}

// ---- Back to the state at load ---------------------------------------------------

void reset_module_state() {
    reset_log_file_state();
    reset_key_event_state();
    reset_logging_controls_state();
    reset_gauge_state();
    reset_aircraft_state();
    reset_service_table_state();
    Panels = nullptr;
    component_holds = 0;
    panel_holds = 0;
}
