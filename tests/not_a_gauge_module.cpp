// A loadable module file that exports no Linkage or ImportTable: what the
// stand-in simulator must refuse as a gauge module.
#ifdef _WIN32
#define EXPORTED __declspec(dllexport)
#else
#define EXPORTED __attribute__((visibility("default")))
#endif

extern "C" EXPORTED int not_a_gauge_module() {
    return 1;
}
