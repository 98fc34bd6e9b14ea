// The aircraft query: three calculator expressions through the simulator's
// service table, each answer copied into a fixed buffer at once, since the
// simulator owns the text it points at. Used by module start, by Reset and
// by the module's aircraft check.
#include "gauge/aircraft.h"

#include <cstring>

#include "gauge/service_table.h"

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

void find_module_path(HMODULE module) {
    module_file_path(module, module_path, TEXT_BUFFER_SIZE);
}

// ---- Aircraft query --------------------------------------------------------------

// Asks one expression and returns the simulator's answer, or null for none.
// The slot starts out at the field's own buffer, so an unanswered query
// leaves it unchanged. A null answer is treated as no answer rather than read.
static const char* ask(const char* expression, const char** answer, char* field) {
    PANELS* panels = service_table();
    if (panels == nullptr || panels->execute_calculator_code == nullptr)
        return nullptr;
    *answer = field;
    panels->execute_calculator_code(expression, nullptr, nullptr, answer);
    if (*answer == field || *answer == nullptr)
        return nullptr;
    return *answer;
}

// How many characters of an answer its field keeps: all of them when they
// fit the buffer with the terminator; none when the answer is too long: the
// field is left empty rather than cut.
static size_t kept_length(const char* text) {
    size_t length = strnlen(text, TEXT_BUFFER_SIZE);
    return length < TEXT_BUFFER_SIZE ? length : 0;
}

// Asks one expression and copies the answer at once, as the simulator owns
// the text; an unanswered query keeps the field's text.
static void query_text(const char* expression, const char** answer, char* field) {
    const char* text = ask(expression, answer, field);
    if (text == nullptr)
        return;
    size_t length = kept_length(text);
    memcpy(field, text, length);
    field[length] = '\0';
}

void query_aircraft() {
    query_text("(A:TITLE, string)", &title_answer, aircraft_title);
    query_text("(A:ATC TYPE, string)", &type_answer, aircraft_type);
    query_text("(A:ATC MODEL, string)", &model_answer, aircraft_model);
}

int32_t aircraft_title_changed() {
    const char* text = ask("(A:TITLE, string)", &title_answer, aircraft_title);
    if (text == nullptr)
        return 0;
    size_t length = kept_length(text);
    return length != strlen(aircraft_title) || memcmp(text, aircraft_title, length) != 0;
}
