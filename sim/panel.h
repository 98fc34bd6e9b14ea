// The panel side of the stand-in simulator: the element-list services that
// install, update and draw a gauge's element tree from the bitmaps its module
// carries, and the gauge's mouse list (tooltips and clicks).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "module/sim_interface.h"

namespace sim {

class Panel {
  public:
    // Element bitmaps are read from the module loaded from `module_file`
    // with the native handle `module_handle`.
    Panel(void* module_handle, std::string module_file);
    ~Panel(); // releases the text buffers it attached to string elements
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    // ---- Element-list services, as the gauge's routines call them ----
    int32_t query(ELEMENT_HEADER* root);
    int32_t install(ELEMENT_HEADER* root, void* resource_handle);
    int32_t initialize(ELEMENT_HEADER* root);
    int32_t update(ELEMENT_HEADER* root);
    int32_t generate(ELEMENT_HEADER* root, uint32_t phase);
    int32_t plot(ELEMENT_HEADER* root);
    int32_t kill(ELEMENT_HEADER* root);

    // Why the last service failed (a missing or unreadable bitmap, say).
    const std::string& error() const;

    // ---- The face as last drawn ----
    bool installed() const; // install succeeded: the gauge's size is known
    bool drawn() const;     // plot has drawn at least once
    bool icon_on() const;   // the icon showed image 1
    std::string counter_text() const;
    bool write_png(const std::string& path, std::string& error) const;

    // ---- Mouse list, in gauge pixels ----
    // The expanded text of the tooltip shown when hovering at (x, y), if any.
    std::optional<std::string> tooltip_at(const GAUGEHDR& gauge, int32_t x, int32_t y) const;
    // A left single click at (x, y); true when a child area took it.
    bool click_at(const GAUGEHDR& gauge, int32_t x, int32_t y);

  private:
    struct State;
    State* state_;
};

// Points the seven element-list entries of `table` at `panel` (one panel is
// active at a time; with null they answer 0 and do nothing).
void use_panel_services(PANELS& table, Panel* panel);

} // namespace sim
