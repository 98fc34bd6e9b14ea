// The two logging controls behind the gauge's click areas: Activate stops
// and resumes writing, Reset truncates the log and starts it afresh.
#pragma once

#include <cstdint>

#include "interface/sim_interface.h"

extern int32_t logging_state; // what the gauge shows: 1 ON, 0 OFF

// Back to the value at load: ON. For tests; see reset_module_state().
void reset_logging_controls_state();

int32_t toggle_logging(PIXPOINT* point, uint32_t mouse_flags);
int32_t restart_log(PIXPOINT* point, uint32_t mouse_flags);
