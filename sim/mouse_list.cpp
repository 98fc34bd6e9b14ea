// Reading a gauge's mouse list into areas, finding what a point reaches, and
// expanding tooltip templates.
#include "sim/mouse_list.h"

#include <string_view>

namespace sim {

namespace {

constexpr size_t MAX_MOUSE_ENTRIES = 4096; // a list without an end marker stops here

} // namespace

bool MouseList::read(const GAUGEHDR& gauge, int32_t width, int32_t height, std::string& error) {
    areas_.clear();
    const MOUSERECT* list = gauge.mouse_rect;
    if (list == nullptr)
        return true;
    auto fail = [&](std::string why) {
        areas_.clear();
        error = std::move(why);
        return false;
    };
    std::vector<int> open; // enclosing parents, innermost last
    for (size_t i = 0; i < MAX_MOUSE_ENTRIES; ++i) {
        const MOUSERECT& entry = list[i];
        const int enclosing = open.empty() ? -1 : open.back();
        const Box origin = enclosing < 0 ? Box{} : areas_[size_t(enclosing)].box;
        switch (entry.rect_type) {
        case MOUSE_RECT_EOL:
            if (!open.empty())
                return fail("mouse list ends with " + std::to_string(open.size()) +
                            " parent(s) open");
            return true;
        case MOUSE_RECT_PARENT:
        case MOUSE_RECT_CHILD: {
            const PIXBOX& r = entry.relative_box;
            Area area{&entry, {offset(origin.x, r.x), offset(origin.y, r.y), r.w, r.h}, enclosing};
            if (entry.rect_type == MOUSE_RECT_PARENT && r.w == 0 && r.h == 0)
                area.box = {0, 0, width, height}; // the whole gauge
            areas_.push_back(area);
            if (entry.rect_type == MOUSE_RECT_PARENT)
                open.push_back(int(areas_.size()) - 1);
            break;
        }
        case MOUSE_RECT_END_PARENT:
            if (open.empty())
                return fail("mouse list closes a parent that is not open (entry " +
                            std::to_string(i) + ")");
            open.pop_back();
            break;
        case MOUSE_RECT_USER:
            if (enclosing >= 0 && areas_[size_t(enclosing)].tooltip == nullptr)
                areas_[size_t(enclosing)].tooltip = &entry;
            break;
        default:
            return fail("mouse list entry " + std::to_string(i) + " has unknown type " +
                        std::to_string(entry.rect_type));
        }
    }
    return fail("mouse list has no end marker within " + std::to_string(MAX_MOUSE_ENTRIES) +
                " entries");
}

// Descends from the top: at each level the first parent (in list order) that
// holds the point; the innermost one on that path with a tooltip speaks.
const MOUSERECT* MouseList::tooltip_at(int32_t x, int32_t y) const {
    const MOUSERECT* tooltip = nullptr;
    int current = -1;
    for (;;) {
        int next = -1;
        for (size_t i = 0; i < areas_.size(); ++i)
            if (areas_[i].parent == current && areas_[i].entry->rect_type == MOUSE_RECT_PARENT &&
                areas_[i].box.contains(x, y)) {
                next = int(i);
                break;
            }
        if (next < 0)
            return tooltip;
        if (areas_[size_t(next)].tooltip != nullptr)
            tooltip = areas_[size_t(next)].tooltip;
        current = next;
    }
}

// The first child, in list order, that takes left single clicks and holds
// the point.
const MOUSERECT* MouseList::click_target(int32_t x, int32_t y) const {
    for (size_t i = 0; i < areas_.size(); ++i) {
        const MOUSERECT& entry = *areas_[i].entry;
        if (entry.rect_type == MOUSE_RECT_CHILD && (entry.mouse_flags & MOUSE_LEFTSINGLE) != 0 &&
            entry.function != nullptr && hit(int(i), x, y))
            return &entry;
    }
    return nullptr;
}

// An area reacts only where it and every parent around it contain the point.
bool MouseList::hit(int index, int32_t x, int32_t y) const {
    for (; index >= 0; index = areas_[size_t(index)].parent)
        if (!areas_[size_t(index)].box.contains(x, y))
            return false;
    return true;
}

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

} // namespace sim
