// PNG output through stb_image_write, which is compiled here and nowhere
// else. The same canvas gives the same bytes on both targets, so the face
// pictures can be compared byte for byte.
#include "sim/png.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO_DEPRECATED
#include <stb_image_write.h>

namespace sim {

bool write_png(const Canvas& canvas, const std::string& path, std::string& error) {
    if (canvas.empty()) {
        error = "the canvas is empty";
        return false;
    }
    if (stbi_write_png(path.c_str(), canvas.width(), canvas.height(), 4, canvas.rgba().data(),
                       canvas.width() * 4) == 0) {
        error = "the file could not be created or written";
        return false;
    }
    return true;
}

} // namespace sim
