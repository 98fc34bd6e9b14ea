// The gauge face: three elements (background, ON/OFF icon, event counter),
// the mouse list with the Activate and Reset areas and the tooltips, and the
// callbacks the simulator calls to draw them.
#pragma once

#include "interface/sim_interface.h"

// Bitmap resources the face draws from.
enum : uint32_t {
    BITMAP_BACKGROUND = 256,
    BITMAP_STATE_OFF = 512, // icon image 0
    BITMAP_STATE_ON = 513,  // icon image 1
};

// The counter's text buffer, terminator included: its longest text,
// "Events = -2147483648", is 20 characters.
constexpr uint16_t COUNTER_TEXT_LENGTH = 21;

extern ELEMENT_HEADER* face_elements[]; // the root list: the background
extern MOUSERECT face_mouse_rect[];

double event_count_text(ELEMENT_STRING* element);
double logging_state_value(ELEMENT_ICON* element);
const char* last_event_name_text(double number, int32_t id, const char* text, void* source_var,
                                 GAUGEHDR* gauge);
// What the Activate tooltip adds: nothing while the log is in the working
// folder, else where it is or why it cannot be written.
const char* log_place_text(double number, int32_t id, const char* text, void* source_var,
                           GAUGEHDR* gauge);
