// The simulator's side of the gauge-module interface: every record the
// simulator reads from keywatch and every service keywatch calls in it.
//
// The simulator loads the module, reads the exported Linkage and ImportTable
// records by name, writes its panel-service table pointer into ImportTable and
// then drives the module through the routines and records declared here. The
// byte layout is what binds: records are 4-byte packed (pointers may sit on
// 4-byte boundaries) and the offsets checked at the end of this file are the
// ones every host relies on. The stand-in simulator in sim/ reads this same
// header.
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

// The text of one tooltip argument.
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

// ---- Gauge header ----------------------------------------------------------

constexpr uint32_t GAUGE_HEADER_VERSION = 800;

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

// One gauge. The module provides the template; the simulator copies it for
// each placed instance and fills in the instance's own fields.
struct GAUGEHDR {
    uint32_t gauge_header_version;  // GAUGE_HEADER_VERSION
    const char* gauge_name;         // the name panel configurations use
    ELEMENT_HEADER** elements_list; // the root of the element tree
    GaugeQueryRoutine query_routine;
    GaugeInstallRoutine install_routine;
    GaugeInitializeRoutine initialize_routine;
    GaugeUpdateRoutine update_routine;
    GaugeGenerateRoutine generate_routine;
    GaugeDrawRoutine draw_routine;
    GaugeKillRoutine kill_routine;
    uint32_t size_x; // default width, in the simulator's gauge units
    uint32_t size_y; // default height; 0 keeps the face's aspect
    float x_adjust;  // size adjustments
    float y_adjust;
    PIXPOINT position;                   // placement on the panel
    MOUSERECT* mouse_rect;               // the gauge's mouse list
    GaugeServiceCallback gauge_callback; // service notifications
    uintptr_t user_data;                 // the module's own value
    const char* parameters;              // instance parameter string; set by the simulator
};

// ---- Elements --------------------------------------------------------------

enum : uint32_t {
    ELEMENT_TYPE_STATIC_IMAGE = 0,
    ELEMENT_TYPE_ICON = 1,
    ELEMENT_TYPE_STRING = 2,
};

constexpr uint32_t RESOURCE_NONE = 0xFFFFFFFF; // an element with no bitmap

// Image flag bits.
enum : uint32_t {
    IMAGE_USE_TRANSPARENCY = 0x01, // pure black pixels are not drawn
    IMAGE_USE_ERASE = 0x02,        // erase the element's area before drawing
    IMAGE_USE_BRIGHT = 0x04,       // keep full brightness under panel lighting
    IMAGE_CREATE_DIBSECTION = 0x80,
};

struct ELEMENT_HEADER {
    uint32_t element_type;         // ELEMENT_TYPE_*
    uint32_t resource_id;          // bitmap resource, or RESOURCE_NONE
    PIXPOINT position;             // top-left corner in gauge pixels
    ELEMENT_HEADER** next_element; // elements drawn after this one, null-ended; null for none
    uint32_t image_flags;          // IMAGE_* bits
};

struct ELEMENT_STATIC_IMAGE {
    ELEMENT_HEADER header;
};

// How an icon turns its callback value into the image it shows.
enum : uint32_t {
    // The value, rounded down and clamped to 0 .. picture_count - 1, is the
    // image index; scale and offset are not used.
    ICON_SWITCH_DIRECT = 3,
};

struct ELEMENT_ICON {
    ELEMENT_HEADER header; // resource_id is image 0; image n is resource_id + n
    int32_t source_var;    // simulator variable; 0 for none
    IconValueCallback update_callback;
    uint32_t picture_count; // images held
    double scale;
    int32_t offset;
    uint32_t switch_mode; // ICON_SWITCH_*
};

// Text-format flag bits for string elements.
enum : uint32_t {
    DT_CENTER = 0x01,
    DT_WORDBREAK = 0x10,
};

constexpr int32_t FW_MEDIUM = 500;
constexpr uint32_t DEFAULT_CHARSET = 1;
constexpr size_t STRING_BUFFER_MIN = 21; // text buffers the simulator attaches hold at least this

struct ELEMENT_STRING {
    ELEMENT_HEADER header;
    int32_t source_vars[3]; // simulator variables; 0 for none
    StringTextCallback update_callback;
    char* string;             // text buffer, attached by the simulator
    PIXPOINT box_size;        // text box, width and height in gauge pixels
    uint32_t fg_color;        // 0x00BBGGRR
    uint32_t bg_color;        // 0x00BBGGRR
    uint32_t highlight_color; // 0x00BBGGRR
    const char* font_name;
    int32_t font_weight;
    uint32_t char_set;
    int32_t font_size;
    uint32_t draw_text_flags; // DT_* bits
    void* highlight_list;     // none here
};

// ---- Mouse list --------------------------------------------------------------

enum : uint32_t {
    MOUSE_RECT_EOL = 0,          // end of the whole list
    MOUSE_RECT_PARENT = 1,       // opens a nested area
    MOUSE_RECT_CHILD = 2,        // a click area
    MOUSE_RECT_END_PARENT = 3,   // closes the innermost open parent
    MOUSE_RECT_TOOLTIP_TEXT = 4, // tooltip of the enclosing parent
};

constexpr int32_t CURSOR_NONE = -1;
constexpr int32_t CURSOR_HAND = 5;
constexpr uint32_t MOUSE_LEFTSINGLE = 0x20000000;

// One tooltip argument: the text its callback gives replaces %N!s!.
struct MOUSEARGS {
    int32_t source_var; // simulator variable; 0 for none
    double scale;
    const char* const* lookup_table; // value-to-text table; none here
    TooltipTextCallback text_callback;
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

static_assert(alignof(GAUGEHDR) <= 4 && alignof(ELEMENT_STRING) <= 4 && alignof(MOUSERECT) <= 4,
              "simulator records are 4-byte packed");
