// A gauge's mouse list as the simulator reads it: nested areas in gauge
// pixels, the tooltip that speaks at a point, the area a click reaches, and
// tooltip templates expanded. The list is read afresh on every hover and
// click, as the module may change it between them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "interface/sim_interface.h"
#include "sim/box.h"

namespace sim {

class MouseList {
  public:
    // Reads the list of `gauge`, whose face is `width` x `height` pixels. A
    // malformed list (an end with no parent open, a parent left open, an
    // unknown entry, no end marker) gives false, with why in `error`.
    bool read(const GAUGEHDR& gauge, int32_t width, int32_t height, std::string& error);

    // The tooltip entry that speaks at (x, y), if any.
    const MOUSERECT* tooltip_at(int32_t x, int32_t y) const;
    // The child area a left single click at (x, y) reaches, if any.
    const MOUSERECT* click_target(int32_t x, int32_t y) const;

  private:
    struct Area {
        const MOUSERECT* entry = nullptr;
        Box box;
        int parent = -1;                    // index of the enclosing parent area, -1 at top level
        const MOUSERECT* tooltip = nullptr; // parents only: their first tooltip entry
    };
    bool hit(int index, int32_t x, int32_t y) const;

    std::vector<Area> areas_;
};

// A tooltip's message template with its arguments filled in: %N!s! is
// argument N as text, %% a percent sign; anything else, including arguments
// the entry does not have, stays as written.
std::string expand_tooltip(const MOUSERECT& entry, const GAUGEHDR& gauge);

} // namespace sim
