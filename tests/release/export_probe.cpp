// A deliberately unfit module for the export check's own tests: it exports the
// five names the simulator looks for, one more symbol, and (unless linked
// statically) needs the C++ runtime's DLLs through its std::string use.
#include <cstdint>
#include <string>

#ifdef _WIN32
#define PROBE_EXPORT __declspec(dllexport)
#else
#define PROBE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
PROBE_EXPORT uint64_t Linkage[8];
PROBE_EXPORT uint64_t ImportTable[4];
PROBE_EXPORT void* Panels;
PROBE_EXPORT void DLLStart() {}
PROBE_EXPORT void DLLStop() {}
PROBE_EXPORT int probe_extra_export(const char* text) {
    return static_cast<int>(std::string(text).size());
}
}
