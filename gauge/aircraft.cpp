// The aircraft query: three calculator expressions through the simulator's
// service table, each answer copied into a fixed buffer at once, since the
// simulator owns the text it points at. Used by module start and by Reset.
#include "gauge/aircraft.h"

#include <cstring>

#include "module/sim_interface.h"

// ---- State ---------------------------------------------------------------------

char module_path[TEXT_BUFFER_SIZE];
char aircraft_title[TEXT_BUFFER_SIZE];
char aircraft_type[TEXT_BUFFER_SIZE];
char aircraft_model[TEXT_BUFFER_SIZE];

// Where each query's answer arrives: the simulator points it at its text.
static const char* title_answer;
static const char* type_answer;
static const char* model_answer;

void reset_aircraft_state() {
    memset(module_path, 0, sizeof module_path);
    memset(aircraft_title, 0, sizeof aircraft_title);
    memset(aircraft_type, 0, sizeof aircraft_type);
    memset(aircraft_model, 0, sizeof aircraft_model);
    title_answer = nullptr;
    type_answer = nullptr;
    model_answer = nullptr;
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
