// Draws the gauge face's three bitmaps from the DejaVu fonts with FreeType:
//   background.bmp  129 x 80  title across the top, RST label in the Reset area
//   state_off.bmp    65 x 35  OFF in red
//   state_on.bmp     65 x 35  ON in green
// each an uncompressed 8-bit palettised BMP holding exactly two colours.
// The glyphs are rendered monochrome, so the output depends only on the font
// files and the FreeType version, and the committed files can be redrawn:
//
//   cmake --build --preset native --target make_bitmaps
//   build/native/make_bitmaps resources [/usr/share/fonts/truetype/dejavu]
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr uint32_t field_grey = 0x333333;
constexpr uint32_t white = 0xFFFFFF;
constexpr uint32_t red = 0xFF0000;
constexpr uint32_t green = 0x00FF00;

// ---- Canvas ------------------------------------------------------------------

// A two-colour picture: every pixel is palette index 0 (field) or 1 (ink).
struct Canvas {
    int width;
    int height;
    uint32_t field;
    uint32_t ink;
    std::vector<uint8_t> index; // row by row from the top

    Canvas(int w, int h, uint32_t field_colour, uint32_t ink_colour)
        : width(w), height(h), field(field_colour), ink(ink_colour),
          index(static_cast<size_t>(w) * h, 0) {}

    void set(int x, int y) {
        if (x >= 0 && y >= 0 && x < width && y < height)
            index[static_cast<size_t>(y) * width + x] = 1;
    }
};

struct Box {
    int x, y, w, h;
};

// ---- Text --------------------------------------------------------------------

// Text set in one line, cropped to its ink.
struct Ink {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> on; // row by row from the top
};

class Font {
  public:
    Font(FT_Library library, const std::string& path) {
        if (FT_New_Face(library, path.c_str(), 0, &face_) != 0)
            throw std::runtime_error("cannot open font " + path);
    }
    ~Font() {
        FT_Done_Face(face_);
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    Ink render(const std::string& text, int pixel_size) {
        if (FT_Set_Pixel_Sizes(face_, 0, pixel_size) != 0)
            throw std::runtime_error("cannot set the font size");

        // Lay the glyphs out on a generous scratch area around the pen's
        // baseline, then crop to what was inked.
        const int scratch_w = pixel_size * static_cast<int>(text.size() + 2);
        const int scratch_h = pixel_size * 3;
        const int baseline = pixel_size * 2;
        std::vector<uint8_t> scratch(static_cast<size_t>(scratch_w) * scratch_h, 0);
        int pen = pixel_size;
        FT_UInt previous = 0;
        for (unsigned char c : text) {
            FT_UInt glyph = FT_Get_Char_Index(face_, c);
            if (previous != 0 && FT_HAS_KERNING(face_)) {
                FT_Vector kern;
                FT_Get_Kerning(face_, previous, glyph, FT_KERNING_DEFAULT, &kern);
                pen += static_cast<int>(kern.x >> 6);
            }
            if (FT_Load_Glyph(face_, glyph, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0)
                throw std::runtime_error("cannot render a glyph");
            FT_GlyphSlot slot = face_->glyph;
            if (slot->bitmap.pixel_mode != FT_PIXEL_MODE_MONO)
                throw std::runtime_error("glyph not rendered monochrome");
            for (unsigned row = 0; row < slot->bitmap.rows; ++row) {
                const unsigned char* bits = slot->bitmap.buffer + row * slot->bitmap.pitch;
                for (unsigned col = 0; col < slot->bitmap.width; ++col) {
                    if ((bits[col / 8] & (0x80 >> (col % 8))) == 0)
                        continue;
                    int x = pen + slot->bitmap_left + static_cast<int>(col);
                    int y = baseline - slot->bitmap_top + static_cast<int>(row);
                    if (x < 0 || y < 0 || x >= scratch_w || y >= scratch_h)
                        throw std::runtime_error("glyph outside the scratch area");
                    scratch[static_cast<size_t>(y) * scratch_w + x] = 1;
                }
            }
            pen += static_cast<int>(slot->advance.x >> 6);
            previous = glyph;
        }

        int left = scratch_w, right = -1, top = scratch_h, bottom = -1;
        for (int y = 0; y < scratch_h; ++y)
            for (int x = 0; x < scratch_w; ++x)
                if (scratch[static_cast<size_t>(y) * scratch_w + x] != 0) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        Ink ink;
        if (right < 0)
            return ink;
        ink.width = right - left + 1;
        ink.height = bottom - top + 1;
        ink.on.resize(static_cast<size_t>(ink.width) * ink.height);
        for (int y = 0; y < ink.height; ++y)
            for (int x = 0; x < ink.width; ++x)
                ink.on[static_cast<size_t>(y) * ink.width + x] =
                    scratch[static_cast<size_t>(top + y) * scratch_w + left + x];
        return ink;
    }

  private:
    FT_Face face_ = nullptr;
};

// Centres the text's ink in `box`; refuses text that would not fit, so a
// font change cannot quietly spill a label outside its area.
void draw_centred(Canvas& canvas, const Ink& ink, const Box& box, const char* what) {
    if (ink.width > box.w || ink.height > box.h)
        throw std::runtime_error(std::string(what) + " does not fit its box");
    const int x0 = box.x + (box.w - ink.width) / 2;
    const int y0 = box.y + (box.h - ink.height) / 2;
    for (int y = 0; y < ink.height; ++y)
        for (int x = 0; x < ink.width; ++x)
            if (ink.on[static_cast<size_t>(y) * ink.width + x] != 0)
                canvas.set(x0 + x, y0 + y);
}

// A one-pixel outline with cut corners, the Reset button's rim.
void draw_button_rim(Canvas& canvas, const Box& box) {
    const int right = box.x + box.w - 1;
    const int bottom = box.y + box.h - 1;
    for (int x = box.x + 2; x <= right - 2; ++x) {
        canvas.set(x, box.y);
        canvas.set(x, bottom);
    }
    for (int y = box.y + 2; y <= bottom - 2; ++y) {
        canvas.set(box.x, y);
        canvas.set(right, y);
    }
    canvas.set(box.x + 1, box.y + 1);
    canvas.set(right - 1, box.y + 1);
    canvas.set(box.x + 1, bottom - 1);
    canvas.set(right - 1, bottom - 1);
}

// ---- BMP file ----------------------------------------------------------------

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// BITMAPFILEHEADER, BITMAPINFOHEADER, a two-entry palette and bottom-up rows
// of 8-bit indices, each padded to a multiple of four bytes.
void write_bmp(const Canvas& canvas, const std::string& path) {
    const uint32_t stride = (static_cast<uint32_t>(canvas.width) + 3) & ~3u;
    const uint32_t palette_entries = 2;
    const uint32_t pixel_offset = 14 + 40 + 4 * palette_entries;
    const uint32_t image_size = stride * static_cast<uint32_t>(canvas.height);

    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, pixel_offset + image_size); // file size
    put32(out, 0);                         // reserved
    put32(out, pixel_offset);

    put32(out, 40);                                   // header size
    put32(out, static_cast<uint32_t>(canvas.width));  // width
    put32(out, static_cast<uint32_t>(canvas.height)); // height > 0: bottom-up
    put16(out, 1);                                    // planes
    put16(out, 8);                                    // bits per pixel
    put32(out, 0);                                    // BI_RGB, uncompressed
    put32(out, image_size);
    put32(out, 2835); // 72 dpi, in pixels per metre
    put32(out, 2835);
    put32(out, palette_entries); // colours used
    put32(out, palette_entries); // colours important

    for (uint32_t colour : {canvas.field, canvas.ink}) {
        out.push_back(static_cast<uint8_t>(colour));       // blue
        out.push_back(static_cast<uint8_t>(colour >> 8));  // green
        out.push_back(static_cast<uint8_t>(colour >> 16)); // red
        out.push_back(0);
    }

    for (int y = canvas.height - 1; y >= 0; --y) {
        const uint8_t* row = &canvas.index[static_cast<size_t>(y) * canvas.width];
        out.insert(out.end(), row, row + canvas.width);
        out.insert(out.end(), stride - static_cast<uint32_t>(canvas.width), 0);
    }

    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path);
}

// ---- The three images --------------------------------------------------------

// Gauge layout the background must respect: the state icon covers (0,21)
// 65 x 35, the counter (12,55) 110 x 20, and the Reset click area is
// x 72..126, y 20..52.
void draw_background(FT_Library library, const std::string& fonts, const std::string& out) {
    Canvas canvas(129, 80, field_grey, white);
    Font bold(library, fonts + "/DejaVuSans-Bold.ttf");
    draw_centred(canvas, bold.render("KEYWATCH", 14), Box{0, 2, 129, 16}, "title");

    const Box rim{76, 26, 47, 25};
    draw_button_rim(canvas, rim);
    draw_centred(canvas, bold.render("RST", 14), Box{rim.x + 1, rim.y + 1, rim.w - 2, rim.h - 2},
                 "RST label");
    write_bmp(canvas, out + "/background.bmp");
}

void draw_state(FT_Library library, const std::string& fonts, const std::string& word,
                uint32_t colour, const std::string& path) {
    Canvas canvas(65, 35, field_grey, colour);
    Font bold(library, fonts + "/DejaVuSans-Bold.ttf");
    draw_centred(canvas, bold.render(word, 24), Box{0, 0, 65, 35}, word.c_str());
    write_bmp(canvas, path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [DEJAVU_FONT_DIR]\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const std::string fonts = argc == 3 ? argv[2] : "/usr/share/fonts/truetype/dejavu";

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "make_bitmaps: cannot start FreeType\n");
        return 1;
    }
    int status = 0;
    try {
        draw_background(library, fonts, out);
        draw_state(library, fonts, "OFF", red, out + "/state_off.bmp");
        draw_state(library, fonts, "ON", green, out + "/state_on.bmp");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_bitmaps: %s\n", e.what());
        status = 1;
    }
    FT_Done_FreeType(library);
    return status;
}
