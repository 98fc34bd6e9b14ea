// Drawing on a gauge face's canvas: bitmaps, filled boxes and blended
// coverage, each clipped to the canvas.
#include "sim/canvas.h"

namespace sim {

namespace {

Rgb from_pixel(uint32_t p) { // a bitmap's 0x00RRGGBB
    return {uint8_t((p >> 16) & 0xFF), uint8_t((p >> 8) & 0xFF), uint8_t(p & 0xFF)};
}

void put(uint8_t* dst, Rgb c) {
    dst[0] = c.r;
    dst[1] = c.g;
    dst[2] = c.b;
    dst[3] = 255;
}

} // namespace

Rgb from_colorref(uint32_t c) {
    return {uint8_t(c & 0xFF), uint8_t((c >> 8) & 0xFF), uint8_t((c >> 16) & 0xFF)};
}

void Canvas::reset(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    rgba_.assign(size_t(width) * size_t(height) * 4, 0);
    for (size_t i = 3; i < rgba_.size(); i += 4)
        rgba_[i] = 255;
}

void Canvas::blit(const Bitmap& image, PIXPOINT at, bool transparent) {
    for (int32_t y = 0; y < image.height; ++y) {
        const int64_t cy = int64_t(at.y) + y;
        if (cy < 0 || cy >= height_)
            continue;
        for (int32_t x = 0; x < image.width; ++x) {
            const int64_t cx = int64_t(at.x) + x;
            if (cx < 0 || cx >= width_)
                continue;
            const uint32_t p = image.pixels[size_t(y) * size_t(image.width) + size_t(x)] & 0xFFFFFF;
            if (transparent && p == 0)
                continue;
            put(pixel(cx, cy), from_pixel(p));
        }
    }
}

void Canvas::fill(const Box& box, Rgb colour) {
    for (int32_t y = std::max(box.y, 0); y < std::min<int64_t>(int64_t(box.y) + box.h, height_);
         ++y)
        for (int32_t x = std::max(box.x, 0); x < std::min<int64_t>(int64_t(box.x) + box.w, width_);
             ++x)
            put(pixel(x, y), colour);
}

void Canvas::blend(int32_t x, int32_t y, Rgb colour, unsigned a) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    uint8_t* dst = pixel(x, y);
    dst[0] = uint8_t((colour.r * a + dst[0] * (255 - a) + 127) / 255);
    dst[1] = uint8_t((colour.g * a + dst[1] * (255 - a) + 127) / 255);
    dst[2] = uint8_t((colour.b * a + dst[2] * (255 - a) + 127) / 255);
    dst[3] = 255;
}

} // namespace sim
