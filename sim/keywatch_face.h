// The keywatch gauge's face in its own words: whether the ON/OFF icon shows
// ON, and what the event counter reads. The one place in the stand-in
// simulator that knows what this gauge's elements mean.
#pragma once

#include <string>

#include "sim/panel.h"

namespace sim {

struct KeywatchFace {
    bool icon_on = false;
    std::string counter;
};

// The face as `panel` last drew it.
KeywatchFace read_keywatch_face(const Panel& panel);

// What keywatch-sim's show prints of it: "icon: ON|OFF" and "counter: TEXT",
// a line each.
std::string describe(const KeywatchFace& face);

} // namespace sim
