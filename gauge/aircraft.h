// The texts the load and refresh records carry about where the module runs:
// the aircraft's title, type and model, asked of the simulator by
// query_aircraft(), and the module file's own path. Start and Reset both
// write them, so they live here, below both; the module's aircraft check
// asks here whether the title has changed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

constexpr size_t TEXT_BUFFER_SIZE = 260; // the platform's path length

// ---- State ---------------------------------------------------------------------

extern char module_path[TEXT_BUFFER_SIZE];    // set by find_module_path() at module start
extern char aircraft_title[TEXT_BUFFER_SIZE]; // answer to "(A:TITLE, string)"
extern char aircraft_type[TEXT_BUFFER_SIZE];  // answer to "(A:ATC TYPE, string)"
extern char aircraft_model[TEXT_BUFFER_SIZE]; // answer to "(A:ATC MODEL, string)"

// Back to the values at load: every text empty. For tests; see reset_module_state().
void reset_aircraft_state();

// Takes module_path from the platform: the path of the file holding `module`.
void find_module_path(HMODULE module);

// ---- Aircraft query --------------------------------------------------------------

// Asks the simulator for the three aircraft texts, in order, and copies each
// answer at once. Does nothing while the simulator has given no service table.
void query_aircraft();
// Asks for the title alone and says (non-zero) whether the answer differs
// from what aircraft_title holds, as query_aircraft() would copy it; an
// unanswered question is no change. The texts stay as they are.
int32_t aircraft_title_changed();
