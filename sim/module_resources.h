// Reading the bitmaps a loaded keywatch module carries, as the simulator
// does: on Windows from the DLL's resource table, on Linux from the resource
// section of the shared object's file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Bitmap {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bits_per_pixel = 0;   // as stored in the module (8 for palettised)
    std::vector<uint32_t> pixels; // 0x00RRGGBB, row by row from the top, width * height
};

// Loads bitmap resource `id` of the module loaded from `module_file` with the
// native handle `module_handle` (HMODULE on Windows, the dlopen handle on
// Linux). Returns false and says why in `error` when the module carries no
// such bitmap or it cannot be decoded.
bool load_module_bitmap(void* module_handle, const std::string& module_file, uint32_t id,
                        Bitmap& out, std::string& error);

} // namespace sim
