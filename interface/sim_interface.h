// The simulator's side of the gauge-module interface: every record the
// simulator reads from keywatch and every service keywatch calls in it.
//
// The simulator loads the module, reads the exported Linkage and ImportTable
// records by name, writes its panel-service table pointer into ImportTable and
// then drives the module through the routines and records declared here; or,
// loading it as a DLL component, fills the exported Panels pointer and calls
// DLLStart and DLLStop. The byte layout is what binds: records are 4-byte
// packed (pointers may sit on 4-byte boundaries) and the offsets checked at
// the end of this file are the ones every host relies on. The stand-in
// simulator in sim/ reads this same header.
#pragma once

#include <cstddef>
#include <cstdint>

struct GAUGEHDR;
struct ELEMENT_HEADER;
struct ELEMENT_ICON;
struct ELEMENT_STRING;

#pragma pack(push, 4)

// ---- Geometry -------------------------------------------------------------

struct PIXPOINT {
    int32_t x; // gauge pixels, from the gauge's left edge
    int32_t y; // gauge pixels, from the gauge's top edge
};

struct PIXBOX {
    int32_t x; // left edge
    int32_t y; // top edge
    int32_t w; // width; 0 with h 0 means the whole gauge
    int32_t h; // height
};

// ---- Routines the simulator calls -----------------------------------------

using ModuleRoutine = void (*)();
using KeyEventHandler = int32_t (*)(uint32_t id, uint32_t data, void* user_data);

// The gauge header's seven routines. Their results go back to the simulator.
using GaugeQueryRoutine = int32_t (*)();
using GaugeInstallRoutine = int32_t (*)(void* resource_handle);
using GaugeInitializeRoutine = int32_t (*)();
using GaugeUpdateRoutine = int32_t (*)();
using GaugeGenerateRoutine = int32_t (*)(uint32_t phase);
using GaugeDrawRoutine = int32_t (*)();
using GaugeKillRoutine = int32_t (*)();

// Service notifications for one gauge instance; extra_data depends on the code.
using GaugeServiceCallback = void (*)(GAUGEHDR* gauge, int32_t service_id, uintptr_t extra_data);

// Element callbacks: the icon's value selects its image, the string's writes
// its text into the buffer the simulator attached to the element.
using IconValueCallback = double (*)(ELEMENT_ICON* element);
using StringTextCallback = double (*)(ELEMENT_STRING* element);

// A click on a child mouse area.
using MouseFunction = int32_t (*)(PIXPOINT* point, uint32_t mouse_flags);

// The text of one tooltip argument; source_var points at the argument's
// source variable.
using TooltipTextCallback = const char* (*)(double number, int32_t id, const char* text,
                                            void* source_var, GAUGEHDR* gauge);

// ---- Panel services the module calls --------------------------------------

using ElementListQuery = int32_t (*)(ELEMENT_HEADER* root);
using ElementListInstall = int32_t (*)(ELEMENT_HEADER* root, void* resource_handle);
using ElementListInitialize = int32_t (*)(ELEMENT_HEADER* root);
using ElementListUpdate = int32_t (*)(ELEMENT_HEADER* root);
using ElementListGenerate = int32_t (*)(ELEMENT_HEADER* root, uint32_t phase);
using ElementListPlot = int32_t (*)(ELEMENT_HEADER* root);
using ElementListKill = int32_t (*)(ELEMENT_HEADER* root);
// On return *text points at the NUL-terminated answer; the result is not used.
using ExecuteCalculatorCode = int32_t (*)(const char* expression, double* number, int32_t* integer,
                                          const char** text);
using RegisterKeyEventHandler = void (*)(KeyEventHandler handler, void* user_data);
using UnregisterKeyEventHandler = void (*)(KeyEventHandler handler, void* user_data);

// The simulator's 64-bit panel-service table. Only the entries keywatch calls
// are named; the rest are kept as opaque slots so the named ones land on
// their fixed offsets.
struct PANELS {
    void* reserved_00[22];                                  // 0x000 - 0x0AF
    ElementListQuery element_list_query;                    // 0x0B0
    ElementListInstall element_list_install;                // 0x0B8
    ElementListInitialize element_list_initialize;          // 0x0C0
    ElementListUpdate element_list_update;                  // 0x0C8
    ElementListGenerate element_list_generate;              // 0x0D0
    ElementListPlot element_list_plot;                      // 0x0D8
    void* reserved_e0;                                      // 0x0E0
    ElementListKill element_list_kill;                      // 0x0E8
    void* reserved_f0[37];                                  // 0x0F0 - 0x217
    ExecuteCalculatorCode execute_calculator_code;          // 0x218
    void* reserved_220[10];                                 // 0x220 - 0x26F
    RegisterKeyEventHandler register_key_event_handler;     // 0x270
    UnregisterKeyEventHandler unregister_key_event_handler; // 0x278
};

// ---- Exported records ------------------------------------------------------

constexpr uint32_t IMPORT_PANELS_ID = 0x0000000F; // ImportTable entry for the service table

struct IMPORT_ENTRY {
    uint32_t id;   // IMPORT_PANELS_ID, or 0 in the end entry
    PANELS* table; // written by the simulator before module start
};

struct IMPORT_TABLE {
    IMPORT_ENTRY panels; // {IMPORT_PANELS_ID, set by the simulator}
    IMPORT_ENTRY end;    // all zero
};

constexpr int32_t MODULE_LINKAGE_ID = 0x13;
constexpr uint32_t MODULE_LINKAGE_VERSION = 0x0900;
constexpr size_t MODULE_GAUGE_SLOTS = 2; // keywatch's one gauge and the null end entry

struct MODULE_LINKAGE {
    int32_t module_id;                    // MODULE_LINKAGE_ID
    ModuleRoutine module_init;            // start routine
    ModuleRoutine module_deinit;          // stop routine
    uint32_t module_flags;                // 0
    uint32_t module_priority;             // 0
    uint32_t module_version;              // MODULE_LINKAGE_VERSION
    GAUGEHDR* gauges[MODULE_GAUGE_SLOTS]; // gauge headers, ending with a null entry
};

// The module's two exported records: Linkage, defined with its start and
// stop (module/module.cpp), and ImportTable, defined with the gauge that
// calls through it (gauge/service_table.cpp). Every call into the simulator
// goes through the service table the simulator writes into ImportTable.
//
// The same file may also be an add-on's DLL component, which the simulator
// loads at its own start: it writes its service table into the exported
// pointer Panels (when it has one to offer), calls DLLStart, and at its exit
// DLLStop.
extern "C" {
extern MODULE_LINKAGE Linkage;
extern IMPORT_TABLE ImportTable;
extern PANELS* Panels;
void DLLStart();
void DLLStop();
}

// ---- Gauge header ----------------------------------------------------------

// The header version that carries every field up to the usage text and the
// zero tail below; the simulator's "FS800" version.
constexpr uint32_t GAUGE_HEADER_VERSION_FS800 = 800;

// Service notification codes passed to a gauge's service callback.
enum : int32_t {
    PANEL_SERVICE_PRE_QUERY = 0,
    PANEL_SERVICE_POST_QUERY = 1,
    PANEL_SERVICE_PRE_INSTALL = 2,
    PANEL_SERVICE_POST_INSTALL = 3,
    PANEL_SERVICE_PRE_INITIALIZE = 4,
    PANEL_SERVICE_POST_INITIALIZE = 5,
    PANEL_SERVICE_PRE_UPDATE = 6,
    PANEL_SERVICE_POST_UPDATE = 7,
    PANEL_SERVICE_PRE_GENERATE = 8,
    PANEL_SERVICE_POST_GENERATE = 9,
    PANEL_SERVICE_PRE_DRAW = 10,
    PANEL_SERVICE_POST_DRAW = 11,
    PANEL_SERVICE_PRE_KILL = 12,
    PANEL_SERVICE_POST_KILL = 13,
};

struct MOUSERECT;

// One gauge. The module provides the template; the simulator copies all 352
// bytes for each placed instance and fills in the instance's own fields.
// Here and in the element records every field starts zero, so a record
// names only what it sets; the fields it leaves zero are the simulator's or
// unused.
struct GAUGEHDR {
    uint32_t gauge_header_version{};  // GAUGE_HEADER_VERSION_FS800
    const char* gauge_name{};         // the name panel configurations use
    ELEMENT_HEADER** elements_list{}; // the root of the element tree
    GaugeQueryRoutine query_routine{};
    GaugeInstallRoutine install_routine{};
    GaugeInitializeRoutine initialize_routine{};
    GaugeUpdateRoutine update_routine{};
    GaugeGenerateRoutine generate_routine{};
    GaugeDrawRoutine draw_routine{};
    GaugeKillRoutine kill_routine{};
    void* reserved_76{};
    uint32_t size_x{}; // default width, in the simulator's gauge units
    uint32_t size_y{}; // default height; 0 keeps the face's aspect
    float x_adjust{};  // size adjustments
    float y_adjust{};
    void* reserved_100{};
    void* reserved_108{};
    PIXPOINT position{}; // placement on the panel
    void* reserved_124{};
    MOUSERECT* mouse_rect{};               // the gauge's mouse list
    GaugeServiceCallback gauge_callback{}; // service notifications
    uintptr_t user_data{};                 // the module's own value
    const char* parameters{};              // instance parameter string; set by the simulator
    const char* usage{};                   // none here
    // Fields of newer simulator versions (instance size, user area, flags,
    // id, save/restore and event callbacks, original position): all zero.
    uint8_t newer_fields[180]{};
};

// ---- Elements --------------------------------------------------------------

enum : uint32_t {
    ELEMENT_TYPE_STATIC_IMAGE = 0,
    ELEMENT_TYPE_NEEDLE = 1,
    ELEMENT_TYPE_STRING = 2,
    ELEMENT_TYPE_SLIDER = 3,
    ELEMENT_TYPE_ICON = 4,
    ELEMENT_TYPE_MOVING_IMAGE = 5,
    ELEMENT_TYPE_SPRITE = 6,
};

constexpr uint32_t RESOURCE_NONE = 0xFFFFFFFF; // an element with no bitmap (-1)

// Image flag bits.
enum : uint32_t {
    IMAGE_USE_TRANSPARENCY = 0x01, // pure black pixels are not drawn
    IMAGE_USE_ERASE = 0x02,        // erase the element's area before drawing
    IMAGE_USE_BRIGHT = 0x04,       // keep full brightness under panel lighting
    IMAGE_ERASE_ON_FAILURE = 0x08,
    IMAGE_NO_STATIC_BLENDING = 0x10,
    IMAGE_CREATE_DIBSECTION = 0x20,
    IMAGE_BILINEAR_GRAY = 0x40,
    IMAGE_BILINEAR_COLOR = 0x80,
};

// A simulator variable an element or tooltip argument may be driven by.
// Token 0 means none; the rest is the simulator's.
struct SOURCE_VARIABLE {
    int32_t id{};
    void* var_ptr{};
    uint32_t var_type{};
    double value{};
    double previous_value{};
};

struct ELEMENT_HEADER {
    uint32_t element_type{};            // ELEMENT_TYPE_*
    uint32_t resource_id{};             // bitmap resource, or RESOURCE_NONE
    PIXPOINT position{};                // top-left corner in gauge pixels
    PIXPOINT previous_position{};       // simulator's
    PIXPOINT offset{};                  // simulator's
    GAUGEHDR* gauge_header{};           // the gauge the element belongs to
    ELEMENT_HEADER* previous_element{}; // simulator's
    ELEMENT_HEADER** next_element{};    // elements drawn after this one, null-ended; null for none
    void* failure_list{};               // none here
    uint32_t image_flags{};             // IMAGE_* bits
    uint32_t special_flags{};           // 0
    uint32_t reserved{};
};

struct ELEMENT_STATIC_IMAGE {
    ELEMENT_HEADER header{};
    void* image_set[4]{}; // the rest is the simulator's
    void* save_buffer{};
    void* handles[4]{};
};

// How an icon turns its callback value into the image it shows. The stepping
// types move the shown image one index per update toward the target.
enum : int32_t {
    ICON_SWITCH_DIRECT = 0,      // image index = value
    ICON_SWITCH_SCALED = 1,      // image index = value * scale + offset
    ICON_SWITCH_STEP = 3,        // steps toward index = value
    ICON_SWITCH_STEP_SCALED = 4, // steps toward index = value * scale + offset
};

struct ELEMENT_ICON {
    ELEMENT_HEADER header{}; // resource_id is image 0; image n is resource_id + n
    SOURCE_VARIABLE source_var{};
    void* source_var_callback{};
    int32_t switch_type{};   // ICON_SWITCH_*
    uint32_t switch_count{}; // 0
    double scale{};
    int32_t offset{};
    int32_t picture_count{}; // images held
    int32_t current_image{}; // simulator's
    int32_t target_image{};  // simulator's
    void* image_data{};      // simulator's
    void* save_buffer{};     // simulator's
    IconValueCallback update_callback{};
    uint32_t reserved{};
};

// Text-format flag bits for string elements, and a font's weight and
// character set: Windows' own values, which <windows.h> defines as macros
// when it comes first.
#ifndef DT_CENTER
enum : uint32_t {
    DT_CENTER = 0x01,
    DT_WORDBREAK = 0x10,
};
#endif
#ifndef FW_MEDIUM
constexpr int32_t FW_MEDIUM = 500;
#endif
#ifndef DEFAULT_CHARSET
constexpr uint8_t DEFAULT_CHARSET = 1;
#endif
constexpr size_t FONT_NAME_SIZE = 32; // inline characters, NUL included

struct ELEMENT_STRING {
    ELEMENT_HEADER header{};
    SOURCE_VARIABLE source_vars[3]{};
    double saved_values[3]{};         // simulator's
    void* source_var_callbacks[3]{};  // none here
    void* source_function{};          // none here
    char* string{};                   // text buffer, attached by the simulator
    char* previous_string{};          // simulator's
    PIXPOINT box_size{};              // text box, width and height in gauge pixels
    void* image_data{};               // simulator's
    void* save_buffer{};              // simulator's
    uint32_t fg_color{};              // 0x00BBGGRR
    uint32_t bg_color{};              // 0x00BBGGRR
    uint32_t highlight_color{};       // 0x00BBGGRR
    void* handles[7]{};               // simulator's
    char font_name[FONT_NAME_SIZE]{}; // inline, NUL-terminated
    int32_t font_weight{};
    uint8_t char_set{};
    uint8_t padding[3]{};
    uint32_t draw_text_flags{};   // DT_* bits
    uint16_t max_string_length{}; // the text buffer's size, terminator included
    uint16_t char_width{};        // simulator's
    uint16_t selection_start{};   // simulator's
    uint16_t selection_end{};     // simulator's
    void* highlight_list{};       // none here
    uint32_t saved_sequence{};    // simulator's
    int32_t char_height{};        // the font size
    StringTextCallback update_callback{};
    uint32_t use_user_color{};
    uint32_t user_color{};
};

// ---- Mouse list --------------------------------------------------------------

enum : uint32_t {
    MOUSE_RECT_EOL = 0,        // end of the whole list
    MOUSE_RECT_PARENT = 1,     // opens a nested area
    MOUSE_RECT_CHILD = 2,      // a click area
    MOUSE_RECT_END_PARENT = 3, // closes the innermost open parent
    MOUSE_RECT_USER = 4,       // a user entry: the tooltip of the enclosing parent
};

constexpr int32_t CURSOR_NONE = -1;
constexpr int32_t CURSOR_HAND = 5;
constexpr uint32_t MOUSE_LEFTSINGLE = 0x20000000;

// One tooltip argument: the text its callback gives replaces %N!s!. Only the
// text callback is used here; the tables and other callbacks stay empty.
struct MOUSEARGS {
    SOURCE_VARIABLE source_var{};
    double scale{};
    const double* number_table{};
    uint32_t number_table_size{};
    const int32_t* id_table{};
    uint32_t id_table_size{};
    const char* const* text_table{};
    uint32_t text_table_size{};
    void* number_callback{};
    void* id_callback{};
    TooltipTextCallback text_callback{};
};

// A tooltip entry keeps its argument count, text and argument list in the
// places where a click entry keeps its event, function and data.
struct MOUSERECT {
    uint32_t rect_type;  // MOUSE_RECT_*
    PIXBOX relative_box; // relative to the enclosing parent
    int32_t cursor;      // CURSOR_*
    uint32_t help_id;
    uint32_t mouse_flags; // clicks the child answers
    union {
        uint32_t event_id;          // click entries
        uint32_t tooltip_arg_count; // tooltip entries
    };
    union {
        MouseFunction function;   // click entries
        const char* tooltip_text; // tooltip entries: a message template
    };
    union {
        void* api_data;          // click entries
        MOUSEARGS* tooltip_args; // tooltip entries
    };
};

#pragma pack(pop)

// ---- Binding offsets ---------------------------------------------------------

static_assert(sizeof(IMPORT_ENTRY) == 12);
static_assert(offsetof(IMPORT_ENTRY, table) == 4);
static_assert(offsetof(IMPORT_TABLE, end) == 12);
static_assert(sizeof(IMPORT_TABLE) == 24);

static_assert(offsetof(MODULE_LINKAGE, module_id) == 0);
static_assert(offsetof(MODULE_LINKAGE, module_init) == 4);
static_assert(offsetof(MODULE_LINKAGE, module_deinit) == 12);
static_assert(offsetof(MODULE_LINKAGE, module_flags) == 20);
static_assert(offsetof(MODULE_LINKAGE, module_priority) == 24);
static_assert(offsetof(MODULE_LINKAGE, module_version) == 28);
static_assert(offsetof(MODULE_LINKAGE, gauges) == 32);

static_assert(offsetof(PANELS, element_list_query) == 0xB0);
static_assert(offsetof(PANELS, element_list_install) == 0xB8);
static_assert(offsetof(PANELS, element_list_initialize) == 0xC0);
static_assert(offsetof(PANELS, element_list_update) == 0xC8);
static_assert(offsetof(PANELS, element_list_generate) == 0xD0);
static_assert(offsetof(PANELS, element_list_plot) == 0xD8);
static_assert(offsetof(PANELS, element_list_kill) == 0xE8);
static_assert(offsetof(PANELS, execute_calculator_code) == 0x218);
static_assert(offsetof(PANELS, register_key_event_handler) == 0x270);
static_assert(offsetof(PANELS, unregister_key_event_handler) == 0x278);

#define KW_AT(record, field, at) static_assert(offsetof(record, field) == (at))
KW_AT(GAUGEHDR, gauge_header_version, 0);
KW_AT(GAUGEHDR, gauge_name, 4);
KW_AT(GAUGEHDR, elements_list, 12);
KW_AT(GAUGEHDR, query_routine, 20);
KW_AT(GAUGEHDR, install_routine, 28);
KW_AT(GAUGEHDR, initialize_routine, 36);
KW_AT(GAUGEHDR, update_routine, 44);
KW_AT(GAUGEHDR, generate_routine, 52);
KW_AT(GAUGEHDR, draw_routine, 60);
KW_AT(GAUGEHDR, kill_routine, 68);
KW_AT(GAUGEHDR, reserved_76, 76);
KW_AT(GAUGEHDR, size_x, 84);
KW_AT(GAUGEHDR, size_y, 88);
KW_AT(GAUGEHDR, x_adjust, 92);
KW_AT(GAUGEHDR, y_adjust, 96);
KW_AT(GAUGEHDR, reserved_100, 100);
KW_AT(GAUGEHDR, reserved_108, 108);
KW_AT(GAUGEHDR, position, 116);
KW_AT(GAUGEHDR, reserved_124, 124);
KW_AT(GAUGEHDR, mouse_rect, 132);
KW_AT(GAUGEHDR, gauge_callback, 140);
KW_AT(GAUGEHDR, user_data, 148);
KW_AT(GAUGEHDR, parameters, 156);
KW_AT(GAUGEHDR, usage, 164);
KW_AT(GAUGEHDR, newer_fields, 172);
static_assert(sizeof(GAUGEHDR) == 352);

KW_AT(ELEMENT_HEADER, element_type, 0);
KW_AT(ELEMENT_HEADER, resource_id, 4);
KW_AT(ELEMENT_HEADER, position, 8);
KW_AT(ELEMENT_HEADER, previous_position, 16);
KW_AT(ELEMENT_HEADER, offset, 24);
KW_AT(ELEMENT_HEADER, gauge_header, 32);
KW_AT(ELEMENT_HEADER, previous_element, 40);
KW_AT(ELEMENT_HEADER, next_element, 48);
KW_AT(ELEMENT_HEADER, failure_list, 56);
KW_AT(ELEMENT_HEADER, image_flags, 64);
KW_AT(ELEMENT_HEADER, special_flags, 68);
KW_AT(ELEMENT_HEADER, reserved, 72);
static_assert(sizeof(ELEMENT_HEADER) == 76);

KW_AT(ELEMENT_STATIC_IMAGE, image_set, 76);
KW_AT(ELEMENT_STATIC_IMAGE, save_buffer, 108);
KW_AT(ELEMENT_STATIC_IMAGE, handles, 116);
static_assert(sizeof(ELEMENT_STATIC_IMAGE) == 148);

KW_AT(SOURCE_VARIABLE, id, 0);
KW_AT(SOURCE_VARIABLE, var_ptr, 4);
KW_AT(SOURCE_VARIABLE, var_type, 12);
KW_AT(SOURCE_VARIABLE, value, 16);
KW_AT(SOURCE_VARIABLE, previous_value, 24);
static_assert(sizeof(SOURCE_VARIABLE) == 32);

KW_AT(ELEMENT_ICON, source_var, 76);
KW_AT(ELEMENT_ICON, source_var_callback, 108);
KW_AT(ELEMENT_ICON, switch_type, 116);
KW_AT(ELEMENT_ICON, switch_count, 120);
KW_AT(ELEMENT_ICON, scale, 124);
KW_AT(ELEMENT_ICON, offset, 132);
KW_AT(ELEMENT_ICON, picture_count, 136);
KW_AT(ELEMENT_ICON, current_image, 140);
KW_AT(ELEMENT_ICON, target_image, 144);
KW_AT(ELEMENT_ICON, image_data, 148);
KW_AT(ELEMENT_ICON, save_buffer, 156);
KW_AT(ELEMENT_ICON, update_callback, 164);
KW_AT(ELEMENT_ICON, reserved, 172);
static_assert(sizeof(ELEMENT_ICON) == 176);

KW_AT(ELEMENT_STRING, source_vars, 76);
KW_AT(ELEMENT_STRING, saved_values, 172);
KW_AT(ELEMENT_STRING, source_var_callbacks, 196);
KW_AT(ELEMENT_STRING, source_function, 220);
KW_AT(ELEMENT_STRING, string, 228);
KW_AT(ELEMENT_STRING, previous_string, 236);
KW_AT(ELEMENT_STRING, box_size, 244);
KW_AT(ELEMENT_STRING, image_data, 252);
KW_AT(ELEMENT_STRING, save_buffer, 260);
KW_AT(ELEMENT_STRING, fg_color, 268);
KW_AT(ELEMENT_STRING, bg_color, 272);
KW_AT(ELEMENT_STRING, highlight_color, 276);
KW_AT(ELEMENT_STRING, handles, 280);
KW_AT(ELEMENT_STRING, font_name, 336);
KW_AT(ELEMENT_STRING, font_weight, 368);
KW_AT(ELEMENT_STRING, char_set, 372);
KW_AT(ELEMENT_STRING, draw_text_flags, 376);
KW_AT(ELEMENT_STRING, max_string_length, 380);
KW_AT(ELEMENT_STRING, char_width, 382);
KW_AT(ELEMENT_STRING, selection_start, 384);
KW_AT(ELEMENT_STRING, selection_end, 386);
KW_AT(ELEMENT_STRING, highlight_list, 388);
KW_AT(ELEMENT_STRING, saved_sequence, 396);
KW_AT(ELEMENT_STRING, char_height, 400);
KW_AT(ELEMENT_STRING, update_callback, 404);
KW_AT(ELEMENT_STRING, use_user_color, 412);
KW_AT(ELEMENT_STRING, user_color, 416);
static_assert(sizeof(ELEMENT_STRING) == 420);

KW_AT(MOUSERECT, rect_type, 0);
KW_AT(MOUSERECT, relative_box, 4);
KW_AT(MOUSERECT, cursor, 20);
KW_AT(MOUSERECT, help_id, 24);
KW_AT(MOUSERECT, mouse_flags, 28);
KW_AT(MOUSERECT, event_id, 32);
KW_AT(MOUSERECT, function, 36);
KW_AT(MOUSERECT, api_data, 44);
static_assert(sizeof(MOUSERECT) == 52);

KW_AT(MOUSEARGS, source_var, 0);
KW_AT(MOUSEARGS, scale, 32);
KW_AT(MOUSEARGS, number_table, 40);
KW_AT(MOUSEARGS, number_table_size, 48);
KW_AT(MOUSEARGS, id_table, 52);
KW_AT(MOUSEARGS, id_table_size, 60);
KW_AT(MOUSEARGS, text_table, 64);
KW_AT(MOUSEARGS, text_table_size, 72);
KW_AT(MOUSEARGS, number_callback, 76);
KW_AT(MOUSEARGS, id_callback, 84);
KW_AT(MOUSEARGS, text_callback, 92);
static_assert(sizeof(MOUSEARGS) == 100);
#undef KW_AT

static_assert(alignof(GAUGEHDR) <= 4 && alignof(ELEMENT_STRING) <= 4 && alignof(MOUSERECT) <= 4,
              "simulator records are 4-byte packed");
