// The picture a gauge face is drawn on: RGBA, row by row from the top, always
// opaque. Everything drawn is clipped to it.
#pragma once

#include <cstdint>
#include <vector>

#include "interface/sim_interface.h"
#include "sim/box.h"
#include "sim/module_resources.h"

namespace sim {

struct Rgb {
    uint8_t r, g, b;
};

// A colour as elements give it, 0x00BBGGRR.
Rgb from_colorref(uint32_t colour);

class Canvas {
  public:
    // A black canvas of that size.
    void reset(int32_t width, int32_t height);

    int32_t width() const {
        return width_;
    }
    int32_t height() const {
        return height_;
    }
    bool empty() const {
        return rgba_.empty();
    }
    const std::vector<uint8_t>& rgba() const {
        return rgba_;
    }

    // The bitmap with its top left corner at `at`; with `transparent`, its
    // pure black pixels are left out.
    void blit(const Bitmap& image, PIXPOINT at, bool transparent);
    void fill(const Box& box, Rgb colour);
    // `colour` over the pixel at (x, y) with coverage `alpha` (0 to 255).
    void blend(int32_t x, int32_t y, Rgb colour, unsigned alpha);

  private:
    uint8_t* pixel(int64_t x, int64_t y) {
        return &rgba_[(size_t(y) * size_t(width_) + size_t(x)) * 4];
    }

    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<uint8_t> rgba_;
};

} // namespace sim
