// The panel side of the stand-in simulator: the element-list services that
// install, update and draw a gauge's element tree from the bitmaps its module
// carries, and the gauge's mouse list (tooltips and clicks). It knows element
// trees and mouse lists, not any one gauge.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interface/sim_interface.h"
#include "sim/canvas.h"
#include "sim/module_resources.h"
#include "sim/text.h"

namespace sim {

// One element as the face was last drawn.
struct ShownElement {
    uint32_t type = 0; // ELEMENT_TYPE_*
    int32_t image = 0; // an icon: the index of the image it showed
    std::string text;  // a string: the text it showed
};

class Panel {
  public:
    // Element bitmaps are read from the module loaded from `module_file`
    // with the native handle `module_handle`.
    Panel(void* module_handle, std::string module_file);
    ~Panel();
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

    // Why the last service, hover or click failed (a missing or unreadable
    // bitmap, a malformed mouse list, say).
    const std::string& error() const {
        return error_;
    }

    // ---- The face as last drawn ----
    bool installed() const { // install succeeded: the gauge's size is known
        return installed_;
    }
    bool drawn() const { // plot has drawn at least once
        return drawn_;
    }
    // What each element showed, in drawing order.
    const std::vector<ShownElement>& shown() const {
        return shown_;
    }
    bool write_png(const std::string& path, std::string& error) const;

    // ---- Mouse list, in gauge pixels ----
    // The expanded text of the tooltip shown when hovering at (x, y), if any.
    std::optional<std::string> tooltip_at(const GAUGEHDR& gauge, int32_t x, int32_t y) const;
    // A left single click at (x, y); true when a child area took it.
    bool click_at(const GAUGEHDR& gauge, int32_t x, int32_t y);

  private:
    // A text buffer attached to a string element: exactly the element's
    // max_string_length bytes, followed by guard bytes that show an overrun.
    class TextBuffer {
      public:
        explicit TextBuffer(size_t size);
        char* bytes() const {
            return bytes_.get();
        }
        size_t size() const {
            return size_;
        }
        // The text up to its terminator; none when it has no terminator
        // within the buffer or wrote past it.
        std::optional<std::string> text() const;

      private:
        std::unique_ptr<char[]> bytes_;
        size_t size_;
    };

    bool collect(ELEMENT_HEADER* root, std::vector<ELEMENT_HEADER*>& out);
    bool load(uint32_t id);
    bool step_icon(ELEMENT_ICON& icon);
    bool fail(std::string why) {
        error_ = std::move(why);
        return false;
    }
    int32_t refuse(std::string why) { // a failed service
        error_ = std::move(why);
        return 0;
    }

    void* module_handle_;
    std::string module_file_;
    mutable std::string error_; // hover, a const query, can fail too

    int32_t width_ = 0; // gauge size: the root image's
    int32_t height_ = 0;
    bool installed_ = false;
    std::map<uint32_t, Bitmap> images_;             // by resource id
    std::map<ELEMENT_STRING*, TextBuffer> buffers_; // attached by initialize
    std::map<ELEMENT_ICON*, int32_t> icon_image_;   // image index shown since the last update
    std::map<ELEMENT_STRING*, std::string> texts_;  // text update read

    bool drawn_ = false;
    std::vector<ShownElement> shown_;
    Canvas canvas_;
    Font font_;
};

// Points the seven element-list entries of `table` at `panel` (one panel is
// active at a time; with null they answer 0 and do nothing).
void use_panel_services(PANELS& table, Panel* panel);

} // namespace sim
