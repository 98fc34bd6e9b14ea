// Reading the keywatch face off what the panel drew. Its tree holds one icon,
// whose image 1 is ON and image 0 OFF, and one string, the event counter.
#include "sim/keywatch_face.h"

namespace sim {

KeywatchFace read_keywatch_face(const Panel& panel) {
    KeywatchFace face;
    for (const ShownElement& element : panel.shown()) {
        if (element.type == ELEMENT_TYPE_ICON)
            face.icon_on = element.image == 1;
        else if (element.type == ELEMENT_TYPE_STRING)
            face.counter = element.text;
    }
    return face;
}

std::string describe(const KeywatchFace& face) {
    return std::string("icon: ") + (face.icon_on ? "ON" : "OFF") + "\ncounter: " + face.counter +
           "\n";
}

} // namespace sim
