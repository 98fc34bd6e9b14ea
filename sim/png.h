// Writing a canvas out as a PNG file.
#pragma once

#include <string>

#include "sim/canvas.h"

namespace sim {

// Writes `canvas` to `path` as an 8-bit RGBA PNG. Returns false and says why
// in `error` when it cannot.
bool write_png(const Canvas& canvas, const std::string& path, std::string& error);

} // namespace sim
