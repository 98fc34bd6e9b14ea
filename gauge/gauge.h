// The gauge "keywatch": its header, the seven routines that hand the element
// tree to the simulator, and the service callback that reads the parameter
// string.
#pragma once

#include <cstdint>

#include "interface/sim_interface.h"

extern GAUGEHDR gauge_header;
extern int32_t parameters_seen; // the parameter string has been examined (once per load)

// Back to the value at load. For tests; see reset_module_state().
void reset_gauge_state();

void gauge_service_callback(GAUGEHDR* gauge, int32_t service_id, uintptr_t extra_data);
