// The panel side of the stand-in simulator. It walks a gauge's element tree
// the way the simulator does and calls its callbacks: install loads each
// element's bitmaps from the module, initialize attaches text buffers to
// string elements, update runs the element callbacks, plot draws the tree
// onto a canvas the size of the root image. Hover and click read the mouse
// list afresh each time.
#include "sim/panel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "sim/mouse_list.h"
#include "sim/png.h"

namespace sim {

namespace {

Panel* active_panel = nullptr; // the panel the service table forwards to

constexpr size_t TEXT_GUARD_SIZE = 64; // canary bytes behind a text buffer, to catch overruns
constexpr uint8_t GUARD_BYTE = 0xA5;   // what the guard bytes hold until overwritten
constexpr size_t MAX_ELEMENTS = 256;   // a longer tree is taken for a broken one
constexpr int32_t MAX_PICTURES = 256;  // images one icon may hold

} // namespace

// ---- Text buffers ------------------------------------------------------------------

// Sized as the element asks, with no room added: a write one byte too long
// lands in the guard bytes.
Panel::TextBuffer::TextBuffer(size_t size) : bytes_(new char[size + TEXT_GUARD_SIZE]), size_(size) {
    std::memset(bytes_.get(), 0, size_);
    std::memset(bytes_.get() + size_, GUARD_BYTE, TEXT_GUARD_SIZE);
}

std::optional<std::string> Panel::TextBuffer::text() const {
    const char* text = bytes_.get();
    const void* end = std::memchr(text, '\0', size_);
    const bool guard_intact = std::all_of(text + size_, text + size_ + TEXT_GUARD_SIZE,
                                          [](char c) { return uint8_t(c) == GUARD_BYTE; });
    if (end == nullptr || !guard_intact)
        return std::nullopt;
    return std::string(text, static_cast<const char*>(end));
}

// ---- Element tree ------------------------------------------------------------------

// The tree in drawing order: each element, then the elements of its
// next-element list in turn.
bool Panel::collect(ELEMENT_HEADER* root, std::vector<ELEMENT_HEADER*>& out) {
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

bool Panel::load(uint32_t id) {
    if (images_.count(id) != 0)
        return true;
    Bitmap image;
    std::string why;
    if (!load_module_bitmap(module_handle_, module_file_, id, image, why))
        return fail("bitmap " + std::to_string(id) + ": " + why);
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != size_t(image.width) * size_t(image.height))
        return fail("bitmap " + std::to_string(id) + " has no usable pixels");
    images_.emplace(id, std::move(image));
    return true;
}

// Runs the icon's callback and moves the image it shows as its switch type
// says: types 0 and 1 jump to the target image, 3 and 4 step one image
// toward it per update; 1 and 4 take the target as value * scale + offset.
// Targets outside the images held are clamped to them.
bool Panel::step_icon(ELEMENT_ICON& icon) {
    const int32_t type = icon.switch_type;
    if (type != ICON_SWITCH_DIRECT && type != ICON_SWITCH_SCALED && type != ICON_SWITCH_STEP &&
        type != ICON_SWITCH_STEP_SCALED)
        return fail("icon switch type " + std::to_string(type) + " is not supported");
    double value = icon.update_callback ? icon.update_callback(&icon) : 0.0;
    if (type == ICON_SWITCH_SCALED || type == ICON_SWITCH_STEP_SCALED)
        value = value * icon.scale + icon.offset;
    const double last = double(std::max(icon.picture_count, 1) - 1);
    const auto target = int32_t(std::isnan(value) ? 0.0 : std::clamp(std::floor(value), 0.0, last));
    int32_t& shown = icon_image_[&icon]; // 0 until the first update
    if (type == ICON_SWITCH_DIRECT || type == ICON_SWITCH_SCALED)
        shown = target;
    else
        shown += target > shown ? 1 : target < shown ? -1 : 0;
    return true;
}

// ---- Services ----------------------------------------------------------------------

Panel::Panel(void* module_handle, std::string module_file)
    : module_handle_(module_handle), module_file_(std::move(module_file)) {}

// The text buffers are freed without touching the elements: the module that
// holds them may already be unloaded. kill detaches them while it is loaded.
Panel::~Panel() {
    if (active_panel == this)
        active_panel = nullptr;
}

int32_t Panel::query(ELEMENT_HEADER* root) {
    std::vector<ELEMENT_HEADER*> elements;
    return collect(root, elements) ? 1 : 0;
}

// Loads every element's images. The resource handle the gauge passes is not
// needed: the panel reads the module it was given.
int32_t Panel::install(ELEMENT_HEADER* root, void* /*resource_handle*/) {
    installed_ = false;
    images_.clear();
    std::vector<ELEMENT_HEADER*> elements;
    if (!collect(root, elements))
        return 0;
    for (ELEMENT_HEADER* element : elements) {
        switch (element->element_type) {
        case ELEMENT_TYPE_STATIC_IMAGE:
            if (element->resource_id != RESOURCE_NONE && !load(element->resource_id))
                return 0;
            break;
        case ELEMENT_TYPE_ICON: {
            const auto* icon = reinterpret_cast<ELEMENT_ICON*>(element);
            if (icon->picture_count <= 0 || icon->picture_count > MAX_PICTURES)
                return refuse("icon holds " + std::to_string(icon->picture_count) + " images");
            if (element->resource_id == RESOURCE_NONE ||
                element->resource_id > RESOURCE_NONE - uint32_t(icon->picture_count))
                return refuse("icon has no usable resource id");
            for (uint32_t n = 0; n < uint32_t(icon->picture_count); ++n)
                if (!load(element->resource_id + n))
                    return 0;
            break;
        }
        default: // a string: collect let no other type through
            break;
        }
    }
    auto root_image = images_.find(root->resource_id);
    if (root->resource_id == RESOURCE_NONE || root_image == images_.end())
        return refuse("the root element has no image to size the gauge");
    width_ = root_image->second.width;
    height_ = root_image->second.height;
    installed_ = true;
    return 1;
}

int32_t Panel::initialize(ELEMENT_HEADER* root) {
    std::vector<ELEMENT_HEADER*> elements;
    if (!collect(root, elements))
        return 0;
    for (ELEMENT_HEADER* element : elements) {
        if (element->element_type != ELEMENT_TYPE_STRING)
            continue;
        auto* string = reinterpret_cast<ELEMENT_STRING*>(element);
        auto buffer = buffers_.find(string);
        if (buffer == buffers_.end() || buffer->second.size() != string->max_string_length)
            buffer = buffers_.insert_or_assign(string, TextBuffer(string->max_string_length)).first;
        string->string = buffer->second.bytes();
    }
    return 1;
}

int32_t Panel::update(ELEMENT_HEADER* root) {
    std::vector<ELEMENT_HEADER*> elements;
    if (!collect(root, elements))
        return 0;
    for (ELEMENT_HEADER* element : elements) {
        if (element->element_type == ELEMENT_TYPE_ICON) {
            if (!step_icon(*reinterpret_cast<ELEMENT_ICON*>(element)))
                return 0;
        } else if (element->element_type == ELEMENT_TYPE_STRING) {
            auto* string = reinterpret_cast<ELEMENT_STRING*>(element);
            auto buffer = buffers_.find(string);
            if (buffer == buffers_.end() || string->string != buffer->second.bytes())
                return refuse("string element updated without the text buffer initialize "
                              "attached");
            if (string->update_callback != nullptr)
                string->update_callback(string);
            std::optional<std::string> text = buffer->second.text();
            if (!text)
                return refuse("string element's text overran its " +
                              std::to_string(buffer->second.size()) + "-byte buffer");
            texts_[string] = std::move(*text);
        }
    }
    return 1;
}

int32_t Panel::generate(ELEMENT_HEADER* root, uint32_t /*phase*/) {
    std::vector<ELEMENT_HEADER*> elements;
    return collect(root, elements) ? 1 : 0;
}

// Draws the face as update last left it. Without a font the text is left
// out but the rest is drawn and recorded, and error() says so.
int32_t Panel::plot(ELEMENT_HEADER* root) {
    std::vector<ELEMENT_HEADER*> elements;
    if (!collect(root, elements))
        return 0;
    if (!installed_)
        return refuse("plot before a successful install");
    canvas_.reset(width_, height_);
    shown_.clear();
    std::optional<std::string> text_missing; // the font name whose stand-in could not be read
    for (ELEMENT_HEADER* element : elements) {
        const bool transparent = (element->image_flags & IMAGE_USE_TRANSPARENCY) != 0;
        ShownElement shown;
        shown.type = element->element_type;
        switch (element->element_type) {
        case ELEMENT_TYPE_STATIC_IMAGE: {
            if (element->resource_id == RESOURCE_NONE)
                break;
            auto image = images_.find(element->resource_id);
            if (image == images_.end())
                return refuse("image " + std::to_string(element->resource_id) +
                              " was not installed");
            canvas_.blit(image->second, element->position, transparent);
            break;
        }
        case ELEMENT_TYPE_ICON: {
            auto* icon = reinterpret_cast<ELEMENT_ICON*>(element);
            auto index = icon_image_.find(icon);
            shown.image = index == icon_image_.end() ? 0 : index->second;
            const uint32_t id = element->resource_id + uint32_t(shown.image);
            auto image = images_.find(id);
            if (image == images_.end())
                return refuse("icon image " + std::to_string(id) + " was not installed");
            canvas_.blit(image->second, element->position, transparent);
            break;
        }
        case ELEMENT_TYPE_STRING: {
            auto* string = reinterpret_cast<ELEMENT_STRING*>(element);
            shown.text = texts_[string];
            // The font is named inline; this panel's one font stands in for
            // whatever it names.
            if (std::memchr(string->font_name, '\0', FONT_NAME_SIZE) == nullptr)
                return refuse("string element's font name is not ended within " +
                              std::to_string(FONT_NAME_SIZE) + " characters");
            const Box box{element->position.x, element->position.y, string->box_size.x,
                          string->box_size.y};
            if (!transparent)
                canvas_.fill(box, from_colorref(string->bg_color));
            if (font_.ready())
                font_.draw(canvas_, box, string->draw_text_flags, from_colorref(string->fg_color),
                           shown.text);
            else
                text_missing = string->font_name;
            break;
        }
        default:
            break;
        }
        shown_.push_back(std::move(shown));
    }
    drawn_ = true;
    if (text_missing)
        error_ = std::string("font ") + Font::file() + " (standing in for \"" + *text_missing +
                 "\") could not be read: the face is drawn without text";
    return 1;
}

int32_t Panel::kill(ELEMENT_HEADER* root) {
    std::vector<ELEMENT_HEADER*> elements;
    collect(root, elements); // a broken tree still gets back what was reached
    for (ELEMENT_HEADER* element : elements) {
        if (element->element_type == ELEMENT_TYPE_STRING) {
            auto* string = reinterpret_cast<ELEMENT_STRING*>(element);
            auto buffer = buffers_.find(string);
            if (buffer != buffers_.end()) {
                if (string->string == buffer->second.bytes())
                    string->string = nullptr;
                buffers_.erase(buffer);
            }
            texts_.erase(string);
        } else if (element->element_type == ELEMENT_TYPE_ICON) {
            icon_image_.erase(reinterpret_cast<ELEMENT_ICON*>(element));
        }
    }
    images_.clear();
    installed_ = false;
    return 1;
}

// ---- The face and its mouse list ---------------------------------------------------

bool Panel::write_png(const std::string& path, std::string& error) const {
    if (!drawn_ || canvas_.empty()) {
        error = "the face has not been drawn";
        return false;
    }
    return sim::write_png(canvas_, path, error);
}

std::optional<std::string> Panel::tooltip_at(const GAUGEHDR& gauge, int32_t x, int32_t y) const {
    MouseList list;
    if (!list.read(gauge, width_, height_, error_))
        return std::nullopt;
    const MOUSERECT* tooltip = list.tooltip_at(x, y);
    if (tooltip == nullptr || tooltip->tooltip_text == nullptr)
        return std::nullopt;
    return expand_tooltip(*tooltip, gauge);
}

bool Panel::click_at(const GAUGEHDR& gauge, int32_t x, int32_t y) {
    MouseList list;
    if (!list.read(gauge, width_, height_, error_))
        return false;
    const MOUSERECT* target = list.click_target(x, y);
    if (target == nullptr)
        return false;
    PIXPOINT point{x, y};
    target->function(&point, MOUSE_LEFTSINGLE);
    return true;
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
