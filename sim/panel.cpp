// The panel side of the stand-in simulator. It walks a gauge's element tree
// the way the simulator does: install loads each element's bitmaps from the
// module, initialize attaches text buffers to string elements, update runs
// the element callbacks, plot draws the tree onto an RGBA canvas the size of
// the root image. The mouse list is read afresh on every hover and click.
#include "sim/panel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "sim/module_resources.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wtype-limits"
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO_DEPRECATED
#include <stb_image_write.h>
#pragma GCC diagnostic pop

#ifndef KEYWATCH_SIM_FONT
#error "KEYWATCH_SIM_FONT must name the TrueType font the counter text is drawn with"
#endif

namespace sim {

namespace {

Panel* active_panel = nullptr; // the panel the service table forwards to

// ---- Limits ------------------------------------------------------------------------

constexpr size_t TEXT_GUARD_SIZE = 64;     // canary bytes behind a text buffer, to catch overruns
constexpr uint8_t GUARD_BYTE = 0xA5;       // what the guard bytes hold until overwritten
constexpr size_t MAX_ELEMENTS = 256;       // a longer tree is taken for a broken one
constexpr int32_t MAX_PICTURES = 256;      // images one icon may hold
constexpr size_t MAX_MOUSE_ENTRIES = 4096; // a list without an end marker stops here
constexpr float FONT_PIXEL_HEIGHT = 15.0f; // fits the counter's 20-pixel box

struct Rgb {
    uint8_t r, g, b;
};

Rgb from_colorref(uint32_t c) { // 0x00BBGGRR
    return {uint8_t(c & 0xFF), uint8_t((c >> 8) & 0xFF), uint8_t((c >> 16) & 0xFF)};
}

Rgb from_pixel(uint32_t p) { // 0x00RRGGBB
    return {uint8_t((p >> 16) & 0xFF), uint8_t((p >> 8) & 0xFF), uint8_t(p & 0xFF)};
}

struct Box {
    int32_t x = 0, y = 0, w = 0, h = 0;
    bool contains(int32_t px, int32_t py) const {
        return px >= x && py >= y && int64_t(px) < int64_t(x) + w && int64_t(py) < int64_t(y) + h;
    }
};

// A nested box's edge; a wild list saturates rather than overflows.
int32_t offset(int32_t origin, int32_t relative) {
    return int32_t(std::clamp<int64_t>(int64_t(origin) + relative, INT32_MIN, INT32_MAX));
}

// One area of a parsed mouse list, in gauge pixels.
struct MouseArea {
    const MOUSERECT* entry = nullptr;
    Box box;
    int parent = -1;                    // index of the enclosing parent area, -1 at top level
    const MOUSERECT* tooltip = nullptr; // parents only: their first tooltip entry
};

struct GlyphBitmapDeleter {
    void operator()(unsigned char* p) const {
        stbtt_FreeBitmap(p, nullptr);
    }
};

} // namespace

// ---- State -------------------------------------------------------------------------

struct Panel::State {
    void* module_handle = nullptr;
    std::string module_file;
    std::string error;

    int32_t width = 0; // gauge size: the root image's
    int32_t height = 0;
    bool installed = false;
    std::map<uint32_t, Bitmap> images; // by resource id

    // Text buffers attached to string elements: exactly the element's
    // max_string_length bytes, followed by guard bytes.
    struct TextBuffer {
        std::unique_ptr<char[]> bytes;
        size_t size = 0;
    };
    std::map<ELEMENT_STRING*, TextBuffer> buffers;
    std::map<ELEMENT_ICON*, int32_t> icon_image;  // image index shown since the last update
    std::map<ELEMENT_STRING*, std::string> texts; // text update read

    bool drawn = false;
    bool icon_on = false;
    std::string counter_text;
    std::vector<uint8_t> canvas; // RGBA, width * height

    bool font_tried = false;
    bool font_ok = false;
    std::vector<unsigned char> font_data;
    stbtt_fontinfo font{};

    bool fail(std::string why) {
        error = std::move(why);
        return false;
    }
    int32_t refuse(std::string why) { // a failed service
        error = std::move(why);
        return 0;
    }

    bool collect(ELEMENT_HEADER* root, std::vector<ELEMENT_HEADER*>& out);
    bool step_icon(ELEMENT_ICON& icon);
    bool load(uint32_t id);
    bool load_font();
    void blit(const Bitmap& image, PIXPOINT at, bool transparent);
    void fill(const Box& box, Rgb colour);
    float text_width(const std::string& text, float scale) const;
    void draw_text(const ELEMENT_STRING& element, const std::string& text);
    bool parse_mouse_list(const GAUGEHDR& gauge, std::vector<MouseArea>& areas);
};

// ---- Element tree ------------------------------------------------------------------

// The tree in drawing order: each element, then the elements of its
// next-element list in turn.
bool Panel::State::collect(ELEMENT_HEADER* root, std::vector<ELEMENT_HEADER*>& out) {
    out.clear();
    if (root == nullptr)
        return fail("no root element");
    std::set<ELEMENT_HEADER*> seen;
    std::vector<ELEMENT_HEADER*> pending{root};
    while (!pending.empty()) {
        ELEMENT_HEADER* element = pending.back();
        pending.pop_back();
        if (!seen.insert(element).second)
            return fail("element tree reaches one element twice");
        if (out.size() == MAX_ELEMENTS)
            return fail("element tree has more than " + std::to_string(MAX_ELEMENTS) + " elements");
        // Any other kind has a record of its own layout, which this panel
        // does not read: refused here, before anything reads past the header.
        const uint32_t type = element->element_type;
        if (type != ELEMENT_TYPE_STATIC_IMAGE && type != ELEMENT_TYPE_ICON &&
            type != ELEMENT_TYPE_STRING) {
            static const char* const kinds[] = {"static image", "needle",       "string", "slider",
                                                "icon",         "moving image", "sprite"};
            return fail("element " + std::to_string(out.size()) + " of the tree (resource " +
                        std::to_string(int32_t(element->resource_id)) + ") has type " +
                        std::to_string(type) +
                        (type < 7 ? std::string(" (") + kinds[type] + ")" : "") +
                        ", which this simulator does not draw");
        }
        out.push_back(element);
        if (element->next_element == nullptr)
            continue;
        std::vector<ELEMENT_HEADER*> next;
        for (ELEMENT_HEADER** p = element->next_element; *p != nullptr; ++p) {
            if (next.size() == MAX_ELEMENTS)
                return fail("next-element list without an end marker");
            next.push_back(*p);
        }
        pending.insert(pending.end(), next.rbegin(), next.rend());
    }
    return true;
}

bool Panel::State::load(uint32_t id) {
    if (images.count(id) != 0)
        return true;
    Bitmap image;
    std::string why;
    if (!load_module_bitmap(module_handle, module_file, id, image, why))
        return fail("bitmap " + std::to_string(id) + ": " + why);
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != size_t(image.width) * size_t(image.height))
        return fail("bitmap " + std::to_string(id) + " has no usable pixels");
    images.emplace(id, std::move(image));
    return true;
}

// Runs the icon's callback and moves the image it shows as its switch type
// says: types 0 and 1 jump to the target image, 3 and 4 step one image
// toward it per update; 1 and 4 take the target as value * scale + offset.
// Targets outside the images held are clamped to them.
bool Panel::State::step_icon(ELEMENT_ICON& icon) {
    const int32_t type = icon.switch_type;
    if (type != ICON_SWITCH_DIRECT && type != ICON_SWITCH_SCALED && type != ICON_SWITCH_STEP &&
        type != ICON_SWITCH_STEP_SCALED)
        return fail("icon switch type " + std::to_string(type) + " is not supported");
    double value = icon.update_callback ? icon.update_callback(&icon) : 0.0;
    if (type == ICON_SWITCH_SCALED || type == ICON_SWITCH_STEP_SCALED)
        value = value * icon.scale + icon.offset;
    const double last = double(std::max(icon.picture_count, 1) - 1);
    const auto target = int32_t(std::isnan(value) ? 0.0 : std::clamp(std::floor(value), 0.0, last));
    int32_t& shown = icon_image[&icon]; // 0 until the first update
    if (type == ICON_SWITCH_DIRECT || type == ICON_SWITCH_SCALED)
        shown = target;
    else
        shown += target > shown ? 1 : target < shown ? -1 : 0;
    return true;
}

// ---- Drawing -----------------------------------------------------------------------

void Panel::State::blit(const Bitmap& image, PIXPOINT at, bool transparent) {
    for (int32_t y = 0; y < image.height; ++y) {
        int64_t cy = int64_t(at.y) + y;
        if (cy < 0 || cy >= height)
            continue;
        for (int32_t x = 0; x < image.width; ++x) {
            int64_t cx = int64_t(at.x) + x;
            if (cx < 0 || cx >= width)
                continue;
            uint32_t pixel = image.pixels[size_t(y) * size_t(image.width) + size_t(x)] & 0xFFFFFF;
            if (transparent && pixel == 0)
                continue;
            Rgb c = from_pixel(pixel);
            uint8_t* dst = &canvas[(size_t(cy) * size_t(width) + size_t(cx)) * 4];
            dst[0] = c.r, dst[1] = c.g, dst[2] = c.b, dst[3] = 255;
        }
    }
}

void Panel::State::fill(const Box& box, Rgb c) {
    for (int32_t y = std::max(box.y, 0); y < std::min<int64_t>(int64_t(box.y) + box.h, height); ++y)
        for (int32_t x = std::max(box.x, 0); x < std::min<int64_t>(int64_t(box.x) + box.w, width);
             ++x) {
            uint8_t* dst = &canvas[(size_t(y) * size_t(width) + size_t(x)) * 4];
            dst[0] = c.r, dst[1] = c.g, dst[2] = c.b, dst[3] = 255;
        }
}

bool Panel::State::load_font() {
    if (font_tried)
        return font_ok;
    font_tried = true;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(KEYWATCH_SIM_FONT, "rb"), std::fclose);
    if (file) {
        unsigned char chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
            font_data.insert(font_data.end(), chunk, chunk + n);
    }
    font_ok = !font_data.empty() && stbtt_InitFont(&font, font_data.data(), 0) != 0;
    return font_ok;
}

float Panel::State::text_width(const std::string& text, float scale) const {
    float w = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        int advance = 0, bearing = 0;
        stbtt_GetCodepointHMetrics(&font, (unsigned char)text[i], &advance, &bearing);
        w += float(advance) * scale;
        if (i + 1 < text.size())
            w += float(stbtt_GetCodepointKernAdvance(&font, (unsigned char)text[i],
                                                     (unsigned char)text[i + 1])) *
                 scale;
    }
    return w;
}

// The text in the element's box: broken into lines at spaces when it is wider
// than the box and word breaks are asked for, each line centred when asked
// for, lines from the top, clipped to the box. Coverage blends the colour
// over what lies below.
void Panel::State::draw_text(const ELEMENT_STRING& element, const std::string& text) {
    const Box box{element.header.position.x, element.header.position.y, element.box_size.x,
                  element.box_size.y};
    const float scale = stbtt_ScaleForPixelHeight(&font, FONT_PIXEL_HEIGHT);
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&font, &ascent, &descent, &gap);
    const float line_height = float(ascent - descent + gap) * scale;

    std::vector<std::string> lines;
    if ((element.draw_text_flags & DT_WORDBREAK) != 0) {
        std::string line;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find(' ', start);
            if (end == std::string::npos)
                end = text.size();
            std::string word = text.substr(start, end - start);
            std::string joined = line.empty() ? word : line + " " + word;
            if (!line.empty() && text_width(joined, scale) > float(box.w)) {
                lines.push_back(line);
                line = word;
            } else {
                line = joined;
            }
            start = end + 1;
        }
        lines.push_back(line);
    } else {
        lines.push_back(text);
    }

    const Rgb colour = from_colorref(element.fg_color);
    float baseline = float(box.y) + float(ascent) * scale;
    for (const std::string& line : lines) {
        float x = float(box.x);
        if ((element.draw_text_flags & DT_CENTER) != 0)
            x += (float(box.w) - text_width(line, scale)) / 2;
        const int32_t base = int32_t(std::lround(baseline));
        for (size_t i = 0; i < line.size(); ++i) {
            const int ch = (unsigned char)line[i];
            const float left = std::floor(x);
            int w = 0, h = 0, xoff = 0, yoff = 0;
            std::unique_ptr<unsigned char, GlyphBitmapDeleter> glyph(
                stbtt_GetCodepointBitmapSubpixel(&font, scale, scale, x - left, 0, ch, &w, &h,
                                                 &xoff, &yoff));
            for (int gy = 0; glyph && gy < h; ++gy)
                for (int gx = 0; gx < w; ++gx) {
                    const int32_t cx = int32_t(left) + xoff + gx;
                    const int32_t cy = base + yoff + gy;
                    if (!box.contains(cx, cy) || cx < 0 || cy < 0 || cx >= width || cy >= height)
                        continue;
                    const unsigned a = glyph.get()[gy * w + gx];
                    uint8_t* dst = &canvas[(size_t(cy) * size_t(width) + size_t(cx)) * 4];
                    dst[0] = uint8_t((colour.r * a + dst[0] * (255 - a) + 127) / 255);
                    dst[1] = uint8_t((colour.g * a + dst[1] * (255 - a) + 127) / 255);
                    dst[2] = uint8_t((colour.b * a + dst[2] * (255 - a) + 127) / 255);
                    dst[3] = 255;
                }
            int advance = 0, bearing = 0;
            stbtt_GetCodepointHMetrics(&font, ch, &advance, &bearing);
            x += float(advance) * scale;
            if (i + 1 < line.size())
                x += float(stbtt_GetCodepointKernAdvance(&font, ch, (unsigned char)line[i + 1])) *
                     scale;
        }
        baseline += line_height;
    }
}

// ---- Mouse list --------------------------------------------------------------------

// Turns the nested list into areas with gauge-pixel boxes. A malformed list
// (an end with no parent open, a parent left open, an unknown entry, no end
// marker) gives nothing.
bool Panel::State::parse_mouse_list(const GAUGEHDR& gauge, std::vector<MouseArea>& areas) {
    areas.clear();
    const MOUSERECT* list = gauge.mouse_rect;
    if (list == nullptr)
        return true;
    std::vector<int> open; // enclosing parents, innermost last
    for (size_t i = 0; i < MAX_MOUSE_ENTRIES; ++i) {
        const MOUSERECT& entry = list[i];
        const int enclosing = open.empty() ? -1 : open.back();
        const Box origin = enclosing < 0 ? Box{} : areas[size_t(enclosing)].box;
        switch (entry.rect_type) {
        case MOUSE_RECT_EOL:
            if (!open.empty())
                return fail("mouse list ends with " + std::to_string(open.size()) +
                            " parent(s) open");
            return true;
        case MOUSE_RECT_PARENT:
        case MOUSE_RECT_CHILD: {
            const PIXBOX& r = entry.relative_box;
            MouseArea area{&entry,
                           {offset(origin.x, r.x), offset(origin.y, r.y), r.w, r.h},
                           enclosing,
                           nullptr};
            if (entry.rect_type == MOUSE_RECT_PARENT && r.w == 0 && r.h == 0)
                area.box = {0, 0, width, height}; // the whole gauge
            areas.push_back(area);
            if (entry.rect_type == MOUSE_RECT_PARENT)
                open.push_back(int(areas.size()) - 1);
            break;
        }
        case MOUSE_RECT_END_PARENT:
            if (open.empty())
                return fail("mouse list closes a parent that is not open (entry " +
                            std::to_string(i) + ")");
            open.pop_back();
            break;
        case MOUSE_RECT_USER:
            if (enclosing >= 0 && areas[size_t(enclosing)].tooltip == nullptr)
                areas[size_t(enclosing)].tooltip = &entry;
            break;
        default:
            return fail("mouse list entry " + std::to_string(i) + " has unknown type " +
                        std::to_string(entry.rect_type));
        }
    }
    return fail("mouse list has no end marker within " + std::to_string(MAX_MOUSE_ENTRIES) +
                " entries");
}

namespace {

// An area reacts only where it and every parent around it contain the point.
bool hit(const std::vector<MouseArea>& areas, int index, int32_t x, int32_t y) {
    for (; index >= 0; index = areas[size_t(index)].parent)
        if (!areas[size_t(index)].box.contains(x, y))
            return false;
    return true;
}

// Expands a tooltip's message template: %N!s! is argument N as text, %% a
// percent sign; anything else, including arguments the entry does not have,
// stays as written.
std::string expand_tooltip(const MOUSERECT& entry, const GAUGEHDR& gauge) {
    std::string out;
    const std::string_view text = entry.tooltip_text;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            out += text[i++];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        size_t j = i + 1;
        uint64_t n = 0;
        while (j < text.size() && j - i <= 10 && text[j] >= '0' && text[j] <= '9')
            n = n * 10 + uint64_t(text[j++] - '0');
        if (j == i + 1 || text.substr(j, 3) != "!s!" || n == 0 || n > entry.tooltip_arg_count) {
            out += text[i++];
            continue;
        }
        const MOUSEARGS* arg = entry.tooltip_args == nullptr ? nullptr : &entry.tooltip_args[n - 1];
        const char* value = nullptr;
        if (arg != nullptr && arg->text_callback != nullptr)
            // The callback's signature wants a writable header; it only reads it.
            value = arg->text_callback(0.0, 0, nullptr, nullptr, const_cast<GAUGEHDR*>(&gauge));
        out += value == nullptr ? "(null)" : value;
        i = j + 3;
    }
    return out;
}

} // namespace

// ---- Panel -------------------------------------------------------------------------

Panel::Panel(void* module_handle, std::string module_file) : state_(new State) {
    state_->module_handle = module_handle;
    state_->module_file = std::move(module_file);
}

// Frees the text buffers without touching the elements: the module that holds
// them may already be unloaded. kill detaches them while it is loaded.
Panel::~Panel() {
    if (active_panel == this)
        active_panel = nullptr;
    delete state_;
}

int32_t Panel::query(ELEMENT_HEADER* root) {
    std::vector<ELEMENT_HEADER*> elements;
    return state_->collect(root, elements) ? 1 : 0;
}

// Loads every element's images. The resource handle the gauge passes is not
// needed: the panel reads the module it was given.
int32_t Panel::install(ELEMENT_HEADER* root, void* /*resource_handle*/) {
    State& s = *state_;
    s.installed = false;
    s.images.clear();
    std::vector<ELEMENT_HEADER*> elements;
    if (!s.collect(root, elements))
        return 0;
    for (ELEMENT_HEADER* element : elements) {
        switch (element->element_type) {
        case ELEMENT_TYPE_STATIC_IMAGE:
            if (element->resource_id != RESOURCE_NONE && !s.load(element->resource_id))
                return 0;
            break;
        case ELEMENT_TYPE_ICON: {
            const auto* icon = reinterpret_cast<ELEMENT_ICON*>(element);
            if (icon->picture_count <= 0 || icon->picture_count > MAX_PICTURES)
                return s.refuse("icon holds " + std::to_string(icon->picture_count) + " images");
            if (element->resource_id == RESOURCE_NONE ||
                element->resource_id > RESOURCE_NONE - uint32_t(icon->picture_count))
                return s.refuse("icon has no usable resource id");
            for (uint32_t n = 0; n < uint32_t(icon->picture_count); ++n)
                if (!s.load(element->resource_id + n))
                    return 0;
            break;
        }
        default: // a string: collect let no other type through
            break;
        }
    }
    auto root_image = s.images.find(root->resource_id);
    if (root->resource_id == RESOURCE_NONE || root_image == s.images.end())
        return s.refuse("the root element has no image to size the gauge");
    s.width = root_image->second.width;
    s.height = root_image->second.height;
    s.installed = true;
    return 1;
}

int32_t Panel::initialize(ELEMENT_HEADER* root) {
    State& s = *state_;
    std::vector<ELEMENT_HEADER*> elements;
    if (!s.collect(root, elements))
        return 0;
    for (ELEMENT_HEADER* element : elements) {
        if (element->element_type != ELEMENT_TYPE_STRING)
            continue;
        auto* string = reinterpret_cast<ELEMENT_STRING*>(element);
        // Sized as the element asks, with no room added: a write one byte
        // too long lands in the guard bytes.
        auto& buffer = s.buffers[string];
        if (!buffer.bytes || buffer.size != string->max_string_length) {
            buffer.size = string->max_string_length;
            buffer.bytes.reset(new char[buffer.size + TEXT_GUARD_SIZE]);
            std::memset(buffer.bytes.get(), 0, buffer.size);
            std::memset(buffer.bytes.get() + buffer.size, GUARD_BYTE, TEXT_GUARD_SIZE);
        }
        string->string = buffer.bytes.get();
    }
    return 1;
}

int32_t Panel::update(ELEMENT_HEADER* root) {
    State& s = *state_;
    std::vector<ELEMENT_HEADER*> elements;
    if (!s.collect(root, elements))
        return 0;
    for (ELEMENT_HEADER* element : elements) {
        if (element->element_type == ELEMENT_TYPE_ICON) {
            if (!s.step_icon(*reinterpret_cast<ELEMENT_ICON*>(element)))
                return 0;
        } else if (element->element_type == ELEMENT_TYPE_STRING) {
            auto* string = reinterpret_cast<ELEMENT_STRING*>(element);
            auto buffer = s.buffers.find(string);
            if (buffer == s.buffers.end() || string->string != buffer->second.bytes.get())
                return s.refuse("string element updated without the text buffer initialize "
                                "attached");
            if (string->update_callback != nullptr)
                string->update_callback(string);
            const char* text = buffer->second.bytes.get();
            const size_t size = buffer->second.size;
            const void* end = std::memchr(text, '\0', size);
            const bool guard_intact = std::all_of(text + size, text + size + TEXT_GUARD_SIZE,
                                                  [](char c) { return uint8_t(c) == GUARD_BYTE; });
            if (end == nullptr || !guard_intact)
                return s.refuse("string element's text overran its " + std::to_string(size) +
                                "-byte buffer");
            s.texts[string].assign(text, static_cast<const char*>(end));
        }
    }
    return 1;
}

int32_t Panel::generate(ELEMENT_HEADER* root, uint32_t /*phase*/) {
    std::vector<ELEMENT_HEADER*> elements;
    return state_->collect(root, elements) ? 1 : 0;
}

// Draws the face as update last left it. Without a font the text is left
// out but the rest is drawn and recorded, and error() says so.
int32_t Panel::plot(ELEMENT_HEADER* root) {
    State& s = *state_;
    std::vector<ELEMENT_HEADER*> elements;
    if (!s.collect(root, elements))
        return 0;
    if (!s.installed)
        return s.refuse("plot before a successful install");
    s.canvas.assign(size_t(s.width) * size_t(s.height) * 4, 0);
    for (size_t i = 3; i < s.canvas.size(); i += 4)
        s.canvas[i] = 255;
    std::optional<std::string> text_missing; // the font name whose stand-in could not be read
    for (ELEMENT_HEADER* element : elements) {
        const bool transparent = (element->image_flags & IMAGE_USE_TRANSPARENCY) != 0;
        switch (element->element_type) {
        case ELEMENT_TYPE_STATIC_IMAGE:
            if (element->resource_id == RESOURCE_NONE)
                break;
            if (s.images.count(element->resource_id) == 0)
                return s.refuse("image " + std::to_string(element->resource_id) +
                                " was not installed");
            s.blit(s.images[element->resource_id], element->position, transparent);
            break;
        case ELEMENT_TYPE_ICON: {
            auto* icon = reinterpret_cast<ELEMENT_ICON*>(element);
            const int32_t index = s.icon_image.count(icon) ? s.icon_image[icon] : 0;
            auto image = s.images.find(element->resource_id + uint32_t(index));
            if (image == s.images.end())
                return s.refuse("icon image " +
                                std::to_string(element->resource_id + uint32_t(index)) +
                                " was not installed");
            s.blit(image->second, element->position, transparent);
            s.icon_on = index == 1;
            break;
        }
        case ELEMENT_TYPE_STRING: {
            auto* string = reinterpret_cast<ELEMENT_STRING*>(element);
            const std::string& text = s.texts[string];
            // The font is named inline; this panel's one font stands in for
            // whatever it names.
            if (std::memchr(string->font_name, '\0', FONT_NAME_SIZE) == nullptr)
                return s.refuse("string element's font name is not ended within " +
                                std::to_string(FONT_NAME_SIZE) + " characters");
            if (!transparent)
                s.fill({element->position.x, element->position.y, string->box_size.x,
                        string->box_size.y},
                       from_colorref(string->bg_color));
            if (s.load_font())
                s.draw_text(*string, text);
            else
                text_missing = string->font_name;
            s.counter_text = text;
            break;
        }
        default:
            break;
        }
    }
    s.drawn = true;
    if (text_missing)
        s.error = "font " KEYWATCH_SIM_FONT " (standing in for \"" + *text_missing +
                  "\") could not be read: the face is drawn without text";
    return 1;
}

int32_t Panel::kill(ELEMENT_HEADER* root) {
    State& s = *state_;
    std::vector<ELEMENT_HEADER*> elements;
    s.collect(root, elements); // a broken tree still gets back what was reached
    for (ELEMENT_HEADER* element : elements) {
        auto* string = reinterpret_cast<ELEMENT_STRING*>(element);
        auto* icon = reinterpret_cast<ELEMENT_ICON*>(element);
        if (element->element_type == ELEMENT_TYPE_STRING) {
            auto buffer = s.buffers.find(string);
            if (buffer != s.buffers.end()) {
                if (string->string == buffer->second.bytes.get())
                    string->string = nullptr;
                s.buffers.erase(buffer);
            }
            s.texts.erase(string);
        } else if (element->element_type == ELEMENT_TYPE_ICON) {
            s.icon_image.erase(icon);
        }
    }
    s.images.clear();
    s.installed = false;
    return 1;
}

const std::string& Panel::error() const {
    return state_->error;
}

bool Panel::installed() const {
    return state_->installed;
}

bool Panel::drawn() const {
    return state_->drawn;
}

bool Panel::icon_on() const {
    return state_->icon_on;
}

std::string Panel::counter_text() const {
    return state_->counter_text;
}

bool Panel::write_png(const std::string& path, std::string& error) const {
    const State& s = *state_;
    if (!s.drawn || s.canvas.empty()) {
        error = "the face has not been drawn";
        return false;
    }
    if (stbi_write_png(path.c_str(), s.width, s.height, 4, s.canvas.data(), s.width * 4) == 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

std::optional<std::string> Panel::tooltip_at(const GAUGEHDR& gauge, int32_t x, int32_t y) const {
    std::vector<MouseArea> areas;
    if (!state_->parse_mouse_list(gauge, areas))
        return std::nullopt;
    // Descend from the top: at each level the first parent (in list order)
    // that holds the point; the innermost one on that path with a tooltip
    // speaks.
    const MOUSERECT* tooltip = nullptr;
    int current = -1;
    for (;;) {
        int next = -1;
        for (size_t i = 0; i < areas.size(); ++i)
            if (areas[i].parent == current && areas[i].entry->rect_type == MOUSE_RECT_PARENT &&
                areas[i].box.contains(x, y)) {
                next = int(i);
                break;
            }
        if (next < 0)
            break;
        if (areas[size_t(next)].tooltip != nullptr)
            tooltip = areas[size_t(next)].tooltip;
        current = next;
    }
    if (tooltip == nullptr || tooltip->tooltip_text == nullptr)
        return std::nullopt;
    return expand_tooltip(*tooltip, gauge);
}

bool Panel::click_at(const GAUGEHDR& gauge, int32_t x, int32_t y) {
    std::vector<MouseArea> areas;
    if (!state_->parse_mouse_list(gauge, areas))
        return false;
    for (size_t i = 0; i < areas.size(); ++i) {
        const MOUSERECT& entry = *areas[i].entry;
        if (entry.rect_type != MOUSE_RECT_CHILD || (entry.mouse_flags & MOUSE_LEFTSINGLE) == 0 ||
            entry.function == nullptr || !hit(areas, int(i), x, y))
            continue;
        PIXPOINT point{x, y};
        entry.function(&point, MOUSE_LEFTSINGLE);
        return true;
    }
    return false;
}

// ---- Service table -----------------------------------------------------------------

namespace {

int32_t service_query(ELEMENT_HEADER* root) {
    return active_panel ? active_panel->query(root) : 0;
}
int32_t service_install(ELEMENT_HEADER* root, void* resource_handle) {
    return active_panel ? active_panel->install(root, resource_handle) : 0;
}
int32_t service_initialize(ELEMENT_HEADER* root) {
    return active_panel ? active_panel->initialize(root) : 0;
}
int32_t service_update(ELEMENT_HEADER* root) {
    return active_panel ? active_panel->update(root) : 0;
}
int32_t service_generate(ELEMENT_HEADER* root, uint32_t phase) {
    return active_panel ? active_panel->generate(root, phase) : 0;
}
int32_t service_plot(ELEMENT_HEADER* root) {
    return active_panel ? active_panel->plot(root) : 0;
}
int32_t service_kill(ELEMENT_HEADER* root) {
    return active_panel ? active_panel->kill(root) : 0;
}

} // namespace

void use_panel_services(PANELS& table, Panel* panel) {
    active_panel = panel;
    table.element_list_query = service_query;
    table.element_list_install = service_install;
    table.element_list_initialize = service_initialize;
    table.element_list_update = service_update;
    table.element_list_generate = service_generate;
    table.element_list_plot = service_plot;
    table.element_list_kill = service_kill;
}

} // namespace sim
