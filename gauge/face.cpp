// The gauge face. Drawn in tree order: the background, the ON/OFF icon over
// the Activate area, and the event counter along the bottom. The mouse list
// nests three parent areas that carry the tooltips, then the two click areas.
#include "gauge/face.h"

#include <cstdio>

#include "gauge/gauge.h"
#include "gauge/logging_controls.h"
#include "log/key_events.h"
#include "log/log_file.h"

// ---- Elements --------------------------------------------------------------------
// Each element points back at the gauge header, as the simulator expects of
// every element it is given. Fields not named here are the simulator's and
// start zero.

static ELEMENT_STRING counter = {
    .header = {.element_type = ELEMENT_TYPE_STRING,
               .resource_id = RESOURCE_NONE,
               .position = {12, 55},
               .gauge_header = &gauge_header,
               .next_element = nullptr,
               .image_flags = IMAGE_BILINEAR_COLOR | IMAGE_USE_BRIGHT | IMAGE_USE_ERASE |
                              IMAGE_USE_TRANSPARENCY},
    .box_size = {110, 20},
    .fg_color = 0x00FFFFFF,
    .bg_color = 0x00000000,
    .highlight_color = 0x00000000,
    .font_name = "Glass Gauge",
    .font_weight = FW_MEDIUM,
    .char_set = DEFAULT_CHARSET,
    .draw_text_flags = DT_CENTER | DT_WORDBREAK,
    .max_string_length = COUNTER_TEXT_LENGTH,
    .highlight_list = nullptr,
    .char_height = 0, // the font size
    .update_callback = event_count_text,
};

static ELEMENT_HEADER* icon_next[] = {&counter.header, nullptr};

// Switch type 3 steps the shown image toward index = value, one image per
// update; with two images one step reaches any target, so 0 shows OFF and 1
// shows ON from the update that brings the value. Scale and offset are only
// read by types 1 and 4: a 3 there as offset, with scale 0, would pin every
// value to image 3, which the icon does not have.
static ELEMENT_ICON state_icon = {
    .header = {.element_type = ELEMENT_TYPE_ICON,
               .resource_id = BITMAP_STATE_OFF,
               .position = {0, 21},
               .gauge_header = &gauge_header,
               .next_element = icon_next,
               .image_flags = IMAGE_BILINEAR_COLOR | IMAGE_USE_ERASE | IMAGE_USE_TRANSPARENCY},
    .switch_type = ICON_SWITCH_STEP,
    .scale = 0,
    .offset = 0,
    .picture_count = 2,
    .update_callback = logging_state_value,
};

static ELEMENT_HEADER* background_next[] = {&state_icon.header, nullptr};

static ELEMENT_STATIC_IMAGE background = {
    .header = {.element_type = ELEMENT_TYPE_STATIC_IMAGE,
               .resource_id = BITMAP_BACKGROUND,
               .position = {0, 0},
               .gauge_header = &gauge_header,
               .next_element = background_next,
               .image_flags = IMAGE_BILINEAR_COLOR | IMAGE_USE_ERASE | IMAGE_USE_TRANSPARENCY},
};

ELEMENT_HEADER* face_elements[] = {&background.header};

// ---- Mouse list ------------------------------------------------------------------

// Each argument's fields but its text callback are zero: no variable, tables or scale.
static MOUSEARGS log_place_tooltip_args[] = {{.text_callback = log_place_text}};
static MOUSEARGS last_event_tooltip_args[] = {{.text_callback = last_event_name_text}};

static constexpr MOUSERECT parent(int32_t x, int32_t y, int32_t w, int32_t h) {
    return {.rect_type = MOUSE_RECT_PARENT,
            .relative_box = {x, y, w, h},
            .cursor = CURSOR_NONE,
            .help_id = 0,
            .mouse_flags = 0,
            .event_id = 0,
            .function = nullptr,
            .api_data = nullptr};
}

static constexpr MOUSERECT tooltip(const char* text, uint32_t arg_count, MOUSEARGS* args) {
    return {.rect_type = MOUSE_RECT_USER,
            .relative_box = {0, 0, 0, 0},
            .cursor = CURSOR_NONE,
            .help_id = 0,
            .mouse_flags = 0,
            .tooltip_arg_count = arg_count,
            .tooltip_text = text,
            .tooltip_args = args};
}

static constexpr MOUSERECT child(int32_t x, int32_t y, int32_t w, int32_t h,
                                 MouseFunction function) {
    return {.rect_type = MOUSE_RECT_CHILD,
            .relative_box = {x, y, w, h},
            .cursor = CURSOR_HAND,
            .help_id = 0,
            .mouse_flags = MOUSE_LEFTSINGLE,
            .event_id = 0,
            .function = function,
            .api_data = nullptr};
}

static constexpr MOUSERECT end_of(uint32_t rect_type) {
    return {.rect_type = rect_type,
            .relative_box = {0, 0, 0, 0},
            .cursor = CURSOR_NONE,
            .help_id = 0,
            .mouse_flags = 0,
            .event_id = 0,
            .function = nullptr,
            .api_data = nullptr};
}

constinit MOUSERECT face_mouse_rect[] = {
    parent(0, 0, 0, 0), // the whole gauge
    parent(72, 10, 55, 43),
    tooltip("Reset", 0, nullptr),
    end_of(MOUSE_RECT_END_PARENT),
    parent(5, 10, 61, 43),
    tooltip("Activate%1!s!", 1, log_place_tooltip_args), // "Activate" but for the log's place
    end_of(MOUSE_RECT_END_PARENT),
    parent(1, 55, 128, 24),
    tooltip("%1!s!", 1, last_event_tooltip_args),
    end_of(MOUSE_RECT_END_PARENT),
    child(72, 20, 55, 33, restart_log),
    child(5, 20, 61, 33, toggle_logging),
    end_of(MOUSE_RECT_END_PARENT), // closes the whole-gauge parent
    end_of(MOUSE_RECT_EOL),
};

// ---- Display callbacks -----------------------------------------------------------

double event_count_text(ELEMENT_STRING* element) {
    // The buffer holds max_string_length bytes, the terminator included.
    if (element != nullptr && element->string != nullptr)
        snprintf(element->string, element->max_string_length, "Events = %05d", event_count);
    return 0.0;
}

double logging_state_value(ELEMENT_ICON* /*element*/) {
    return (double)logging_state;
}

const char* last_event_name_text(double /*number*/, int32_t /*id*/, const char* /*text*/,
                                 void* /*source_var*/, GAUGEHDR* /*gauge*/) {
    if (last_event_name == nullptr || last_event_name[0] == '\0')
        return "(null)";
    return last_event_name;
}

// Written afresh each time the simulator shows the tooltip, so it follows
// every open of the log. Paths are in the text's character set (see
// open_user_text_stream); the text is cut, not overrun, at its size.
static char log_place_tooltip[USER_PATH_SIZE + REASON_SIZE + 64];

const char* log_place_text(double /*number*/, int32_t /*id*/, const char* /*text*/,
                           void* /*source_var*/, GAUGEHDR* /*gauge*/) {
    if (log_place == LOG_PLACE_USER_FOLDER)
        snprintf(log_place_tooltip, sizeof log_place_tooltip, " (log: %s)", log_user_path);
    else if (log_place == LOG_PLACE_UNWRITABLE)
        snprintf(log_place_tooltip, sizeof log_place_tooltip,
                 " (the log cannot be written: %s: %s)", log_failure_path, log_failure_reason);
    else
        return "";
    return log_place_tooltip;
}
