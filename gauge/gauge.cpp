// The gauge header and its routines. The simulator draws and services the
// gauge through the header; each routine forwards one element-list call on
// the face's root element. The service callback is the module's only
// configuration input: the first parameter string it sees decides, once,
// whether the seven axis events are logged.
#include "gauge/gauge.h"

#include "gauge/face.h"
#include "gauge/service_table.h"
#include "log/key_events.h"

int32_t parameters_seen = 0;

void reset_gauge_state() {
    parameters_seen = 0;
}

// ---- Forwarding routines ---------------------------------------------------------
// A host that runs the gauge before handing over its service table gets 0
// (failure) rather than a call through a null table.

// The root element: the first of the header's list, which the module's
// Linkage hands the simulator.
static ELEMENT_HEADER* root_element() {
    return gauge_header.elements_list[0];
}

static int32_t gauge_query() {
    PANELS* table = service_table();
    if (table == nullptr || table->element_list_query == nullptr)
        return 0;
    return table->element_list_query(root_element());
}

static int32_t gauge_install(void* resource_handle) {
    PANELS* table = service_table();
    if (table == nullptr || table->element_list_install == nullptr)
        return 0;
    return table->element_list_install(root_element(), resource_handle);
}

static int32_t gauge_initialize() {
    PANELS* table = service_table();
    if (table == nullptr || table->element_list_initialize == nullptr)
        return 0;
    return table->element_list_initialize(root_element());
}

static int32_t gauge_update() {
    PANELS* table = service_table();
    if (table == nullptr || table->element_list_update == nullptr)
        return 0;
    return table->element_list_update(root_element());
}

static int32_t gauge_generate(uint32_t phase) {
    PANELS* table = service_table();
    if (table == nullptr || table->element_list_generate == nullptr)
        return 0;
    return table->element_list_generate(root_element(), phase);
}

static int32_t gauge_draw() {
    PANELS* table = service_table();
    if (table == nullptr || table->element_list_plot == nullptr)
        return 0;
    return table->element_list_plot(root_element());
}

static int32_t gauge_kill() {
    PANELS* table = service_table();
    if (table == nullptr || table->element_list_kill == nullptr)
        return 0;
    return table->element_list_kill(root_element());
}

// ---- Header ----------------------------------------------------------------------

constinit GAUGEHDR gauge_header = {
    .gauge_header_version = GAUGE_HEADER_VERSION_FS800,
    .gauge_name = "keywatch",
    .elements_list = face_elements,
    .query_routine = gauge_query,
    .install_routine = gauge_install,
    .initialize_routine = gauge_initialize,
    .update_routine = gauge_update,
    .generate_routine = gauge_generate,
    .draw_routine = gauge_draw,
    .kill_routine = gauge_kill,
    .size_x = 150,
    .size_y = 0,
    .x_adjust = 0,
    .y_adjust = 0,
    .position = {0, 0},
    .mouse_rect = face_mouse_rect,
    .gauge_callback = gauge_service_callback,
    .user_data = 0,
    .parameters = nullptr,
    .usage = nullptr,
    .newer_fields = {},
};

// ---- Service callback --------------------------------------------------------------

void gauge_service_callback(GAUGEHDR* gauge, int32_t service_id, uintptr_t /*extra_data*/) {
    if (service_id != PANEL_SERVICE_PRE_UPDATE || parameters_seen != 0 || gauge == nullptr ||
        gauge->parameters == nullptr)
        return;
    parameters_seen = 1;
    if (gauge->parameters[0] != '\0')
        set_axis_events_enabled(1);
}
