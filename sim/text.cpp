// Text on a gauge face, through stb_truetype, which is compiled here and
// nowhere else. Measuring and drawing walk the glyphs with one routine, so a
// line is centred by the very advances it is drawn with.
#include "sim/text.h"

#include <cmath>
#include <cstdio>

#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>

#ifndef KEYWATCH_SIM_FONT
#error "KEYWATCH_SIM_FONT must name the TrueType font every text is drawn with"
#endif

namespace sim {

namespace {

constexpr float FONT_PIXEL_HEIGHT = 15.0f; // one line fits a 20-pixel string box

struct GlyphBitmapDeleter {
    void operator()(unsigned char* p) const {
        stbtt_FreeBitmap(p, nullptr);
    }
};

} // namespace

struct Font::Loaded {
    std::vector<unsigned char> data; // stbtt_fontinfo points into it
    stbtt_fontinfo info{};
    float scale = 0; // font units to pixels

    // Walks `text` from pen position `x`, calling `glyph(ch, x)` with each
    // character and the pen position it is drawn at, and returns the pen
    // position past the last. The only place advances and kerning are taken.
    template <class Glyph> float walk(std::string_view text, float x, Glyph&& glyph) const {
        for (size_t i = 0; i < text.size(); ++i) {
            const int ch = (unsigned char)text[i];
            glyph(ch, x);
            int advance = 0, bearing = 0;
            stbtt_GetCodepointHMetrics(&info, ch, &advance, &bearing);
            x += float(advance) * scale;
            if (i + 1 < text.size())
                x += float(stbtt_GetCodepointKernAdvance(&info, ch, (unsigned char)text[i + 1])) *
                     scale;
        }
        return x;
    }
};

Font::Font() = default;
Font::~Font() = default;

const char* Font::file() {
    return KEYWATCH_SIM_FONT;
}

bool Font::ready() {
    if (tried_)
        return loaded_ != nullptr;
    tried_ = true;
    auto font = std::make_unique<Loaded>();
    std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(file(), "rb"), std::fclose);
    if (!in)
        return false;
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in.get())) > 0)
        font->data.insert(font->data.end(), chunk, chunk + n);
    if (font->data.empty() || stbtt_InitFont(&font->info, font->data.data(), 0) == 0)
        return false;
    font->scale = stbtt_ScaleForPixelHeight(&font->info, FONT_PIXEL_HEIGHT);
    loaded_ = std::move(font);
    return true;
}

float Font::width(std::string_view text) const {
    return loaded_->walk(text, 0.0f, [](int, float) {});
}

std::vector<std::string> break_lines(std::string_view text, float box_width,
                                     const std::function<float(std::string_view)>& width) {
    std::vector<std::string> lines;
    std::string line;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view word = text.substr(start, end - start);
        std::string joined = line.empty() ? std::string(word) : line + " " + std::string(word);
        if (!line.empty() && width(joined) > box_width) {
            lines.push_back(std::move(line));
            line = word;
        } else {
            line = std::move(joined);
        }
        start = end + 1;
    }
    lines.push_back(std::move(line));
    return lines;
}

void Font::draw(Canvas& canvas, const Box& box, uint32_t flags, Rgb colour,
                const std::string& text) const {
    const Loaded& font = *loaded_;
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&font.info, &ascent, &descent, &gap);
    const float line_height = float(ascent - descent + gap) * font.scale;

    const std::vector<std::string> lines =
        (flags & DT_WORDBREAK) != 0
            ? break_lines(text, float(box.w), [this](std::string_view s) { return width(s); })
            : std::vector<std::string>{text};
    float baseline = float(box.y) + float(ascent) * font.scale;
    for (const std::string& line : lines) {
        float x = float(box.x);
        if ((flags & DT_CENTER) != 0)
            x += (float(box.w) - width(line)) / 2;
        const int32_t base = int32_t(std::lround(baseline));
        font.walk(line, x, [&](int ch, float pen) {
            const float left = std::floor(pen);
            int w = 0, h = 0, xoff = 0, yoff = 0;
            std::unique_ptr<unsigned char, GlyphBitmapDeleter> glyph(
                stbtt_GetCodepointBitmapSubpixel(&font.info, font.scale, font.scale, pen - left, 0,
                                                 ch, &w, &h, &xoff, &yoff));
            for (int gy = 0; glyph && gy < h; ++gy)
                for (int gx = 0; gx < w; ++gx) {
                    const int32_t cx = int32_t(left) + xoff + gx;
                    const int32_t cy = base + yoff + gy;
                    if (box.contains(cx, cy))
                        canvas.blend(cx, cy, colour, glyph.get()[gy * w + gx]);
                }
        });
        baseline += line_height;
    }
}

} // namespace sim
