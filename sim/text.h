// Text on a gauge face. One TrueType font stands in for whatever font a
// string element names; text is laid out in the element's box as the element's
// flags ask and blended onto the canvas.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/canvas.h"

namespace sim {

class Font {
  public:
    Font();
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // The file the font is read from.
    static const char* file();

    // Reads the font on first use; false, then and later, when it cannot be
    // read or is not a font.
    bool ready();

    // The text's width in pixels, as drawn on one line.
    float width(std::string_view text) const;

    // Draws `text` in `box`: broken into lines at spaces when it is wider
    // than the box and `flags` hold DT_WORDBREAK, each line centred when
    // they hold DT_CENTER, lines from the top, clipped to the box. Coverage
    // blends `colour` over what lies below. Needs ready().
    void draw(Canvas& canvas, const Box& box, uint32_t flags, Rgb colour,
              const std::string& text) const;

  private:
    struct Loaded;
    bool tried_ = false;
    std::unique_ptr<Loaded> loaded_; // null until read, or when it could not be
};

// Breaks `text` into lines at spaces so that each line, measured by `width`,
// fits in `box_width`. A word wider than the box has a line of its own.
std::vector<std::string> break_lines(std::string_view text, float box_width,
                                     const std::function<float(std::string_view)>& width);

} // namespace sim
