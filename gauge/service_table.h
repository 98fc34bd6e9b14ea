// The simulator's panel services: the table the simulator writes into the
// exported ImportTable, or hands the DLL component through Panels. The
// gauge's routines, the aircraft query and the module's start and stop all
// call the simulator through it, so it lives here, below the module.
#pragma once

#include "interface/sim_interface.h"

// The table every call into the simulator goes through; null while the
// simulator has given none, and then no service may be used.
PANELS* service_table();
// Puts a table where the simulator puts its own: for the DLL component,
// which is given its table through Panels.
void set_service_table(PANELS* table);

// Back to the value at load: no table. For tests; see reset_module_state().
void reset_service_table_state();
