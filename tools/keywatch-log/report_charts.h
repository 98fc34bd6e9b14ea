// The report's chart of a session, as inline SVG, followed by a table with
// the same figures: the timeline (events per time step, logging stops and
// starts, the load or Reset that began it, and its bursts, steady repeats
// and tugs-of-war as bands).
//
// Every mark carries its figure in a <title>, which a browser shows on
// hovering. Positions are worked out in tenths of a unit with integers or
// one rounding each, and written without printf, so that both targets
// write the same page.
#pragma once

#include "names.h"
#include "session.h"
#include "timeline.h"

#include <string>

namespace kwlog {

void put_timeline(std::string& out, const Session& s, const Timeline& t, const EventNames& names);

// "NAME (id N)", the way the charts' titles name an event.
void append_event(std::string& out, const Session& s, uint32_t event, const EventNames& names);

} // namespace kwlog
