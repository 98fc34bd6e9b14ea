// A module file whose entry point reports failure: the loader must refuse it,
// as Windows' LoadLibrary does, and no host may go on to look for its records.
#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>
#define WINAPI
typedef int32_t BOOL;
typedef uint32_t DWORD;
typedef void* HINSTANCE;
typedef void* LPVOID;
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    return reason == 0 ? 1 : 0; // only "process detach" succeeds
}
