// A gauge module that is no DLL component: Linkage and ImportTable, with no
// gauge and no routines, and no DLLStart, DLLStop or Panels. keywatch-sim
// loads it, and must refuse to start it as a DLL component.
#include "interface/sim_interface.h"

#ifdef _WIN32
#define EXPORTED __declspec(dllexport)
#else
#define EXPORTED __attribute__((visibility("default")))
#endif

extern "C" {
EXPORTED MODULE_LINKAGE Linkage = {
    MODULE_LINKAGE_ID, nullptr, nullptr, 0, 0, MODULE_LINKAGE_VERSION, {nullptr, nullptr},
};
EXPORTED IMPORT_TABLE ImportTable = {{IMPORT_PANELS_ID, nullptr}, {0, nullptr}};
}
