// Module registration and lifecycle: the exported records, the entry point,
// start and stop, and the aircraft query.
#pragma once

#include <cstddef>
#include <cstdint>

#include "module/sim_interface.h"
#include "platform/platform.h"

constexpr size_t TEXT_BUFFER_SIZE = 260; // the platform's path length

extern "C" {
extern MODULE_LINKAGE Linkage;
extern IMPORT_TABLE ImportTable;
}

extern HINSTANCE module_handle;
extern char module_path[TEXT_BUFFER_SIZE];
extern char aircraft_title[TEXT_BUFFER_SIZE];
extern char aircraft_type[TEXT_BUFFER_SIZE];
extern char aircraft_model[TEXT_BUFFER_SIZE];

void module_init();
void module_deinit();
void query_aircraft();
