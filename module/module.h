// Module registration and lifecycle: the exported records (declared with the
// rest of the simulator's interface), the entry point, start and stop.
#pragma once

#include "interface/sim_interface.h"
#include "platform/platform.h"

extern HINSTANCE module_handle; // saved by DllMain; the loader's, so no test resets it

void module_init();
void module_deinit();

// Every module-global back to its value at load, the log closed rather than
// leaked. The module never calls it: each load starts from those values, and
// a restart keeps the state. Tests that link the module call it between
// tests; each piece of state is reset beside its definition.
void reset_module_state();
