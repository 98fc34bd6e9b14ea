// How the simulator finds keywatch and how it starts and stops: Linkage and
// ImportTable, the DLL entry point, the start routine that arms the key-event
// handler and writes the load records, the stop routine that writes the
// closing records, and the aircraft query shared with Reset.
#include "module/module.h"

#include <cstring>

#include "gauge/gauge.h"
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
char module_path[TEXT_BUFFER_SIZE];
char aircraft_title[TEXT_BUFFER_SIZE];
char aircraft_type[TEXT_BUFFER_SIZE];
char aircraft_model[TEXT_BUFFER_SIZE];

// Where each query's answer arrives: the simulator points it at its text.
static const char* title_answer;
static const char* type_answer;
static const char* model_answer;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
    module_handle = instance;
    return 1;
}

// ---- Aircraft query --------------------------------------------------------------

// Asks one expression and copies the answer at once. The slot starts out at
// the field's own buffer, so an unanswered query (slot unchanged) keeps the
// field's text. A null answer is treated as no answer rather than read.
static void query_text(const char* expression, const char** answer, char* field) {
    PANELS* panels = ImportTable.panels.table;
    if (panels == nullptr || panels->execute_calculator_code == nullptr)
        return;
    *answer = field;
    panels->execute_calculator_code(expression, nullptr, nullptr, answer);
    if (*answer == field || *answer == nullptr)
        return;
    size_t length = strnlen(*answer, TEXT_BUFFER_SIZE);
    if (length < TEXT_BUFFER_SIZE)
        memcpy(field, *answer, length + 1);
    else
        field[0] = '\0'; // too long for the buffer: left empty rather than cut
}

void query_aircraft() {
    query_text("(A:TITLE, string)", &title_answer, aircraft_title);
    query_text("(A:ATC TYPE, string)", &type_answer, aircraft_type);
    query_text("(A:ATC MODEL, string)", &model_answer, aircraft_model);
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
