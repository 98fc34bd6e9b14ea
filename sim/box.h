// Boxes in gauge pixels, shared by drawing and the mouse list.
#pragma once

#include <algorithm>
#include <cstdint>

namespace sim {

struct Box {
    int32_t x = 0, y = 0, w = 0, h = 0;
    bool contains(int32_t px, int32_t py) const {
        return px >= x && py >= y && int64_t(px) < int64_t(x) + w && int64_t(py) < int64_t(y) + h;
    }
};

// A nested box's edge; a wild list saturates rather than overflows.
inline int32_t offset(int32_t origin, int32_t relative) {
    return int32_t(std::clamp<int64_t>(int64_t(origin) + relative, INT32_MIN, INT32_MAX));
}

} // namespace sim
