// The host side of the stand-in simulator: loads a keywatch module file,
// reaches it only through its exports (the Linkage and ImportTable records,
// and as a DLL component Panels, DLLStart and DLLStop), plays
// the simulator's panel services (calculator answers, key-event handlers)
// and places, draws and clicks its gauge through a Panel.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "interface/sim_interface.h"
#include "sim/panel.h"

namespace sim {

// A host operation that could not be done (a module that does not load, a
// gauge that cannot be installed, ...). The message says why.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A module file loaded as Windows loads a DLL: mapped, then its entry point
// called with "process attach"; when the entry point reports failure it is
// told "process detach", the file is unloaded again and the load fails.
// Unloading tells it "process detach" first. On Linux the entry point is the
// one the ELF header names (the module's build names DllMain); a file whose
// header names none loads without a call, as a DLL without one does. Unlike
// Windows, which calls it once however often a process loads the same file,
// each LoadedModule calls it: the stand-in holds one at a time.
class LoadedModule {
  public:
    // Loads `path` as given: a relative name is the platform loader's to
    // resolve. Throws HostError saying why when the file does not load.
    explicit LoadedModule(const std::string& path);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    // The native handle: HMODULE on Windows, the dlopen handle on Linux.
    void* handle() const {
        return library_;
    }
    // The address of an exported symbol, or null.
    void* symbol(const char* name) const;

  private:
    using EntryPoint = int32_t (*)(void* instance, uint32_t reason, void* reserved);

    void* library_ = nullptr;
    EntryPoint entry_ = nullptr; // Linux: what the ELF header names, if anything
    void* instance_ = nullptr;   // Linux: where the file is mapped, as Windows' HINSTANCE
};

enum class AircraftField { title, type, model };

// One loaded module. One Host exists at a time: the service functions the
// module calls find it through a single process-wide pointer.
class Host {
  public:
    // Loads `module_file` (made absolute) and binds the service table into
    // its ImportTable. Throws HostError when it cannot.
    explicit Host(const std::string& module_file);
    // Stops the module if it is started (as the simulator does when it
    // exits: the panel's stop routine, then DLLStop), kills the gauge, and
    // unloads the module file.
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const std::string& module_file() const {
        return module_file_;
    }

    // ---- Calculator answers ----
    // The text the simulator gives for that aircraft query from now on; none
    // leaves the module's answer slot untouched.
    void set_answer(AircraftField field, std::optional<std::string> text);
    // Test aid: a broken simulator that points the answer slot at null.
    void answer_null_pointer(AircraftField field);

    // ---- Module start and stop ----
    void start(); // service table into ImportTable, then the start routine
    // Test aid: the start routine with ImportTable's service pointer left null.
    void start_without_services();
    void stop(); // kills the gauge if installed, then the stop routine
    bool started() const {
        return started_;
    }

    // ---- The module as a DLL component ----
    // As the simulator loads a DLL component at its own start: the service
    // table into the exported Panels, if the module exports it (with
    // `with_services` false it is left null, as by a host that offers no
    // table), then DLLStart. Throws HostError when the module exports no
    // DLLStart.
    void start_component(bool with_services = true);
    void stop_component(); // DLLStop; throws HostError when there is none
    bool component_started() const {
        return component_started_;
    }

    // ---- Key events ----
    // Calls every registered handler once, in registration order.
    void send_event(uint32_t id, uint32_t data);
    size_t handler_count() const {
        return handlers_.size();
    }

    // ---- Gauges ----
    // Places one instance of the gauge "keywatch" with the given parameter
    // string (none: no string at all). The first placement queries, installs
    // and initialises the gauge. Throws HostError when it cannot.
    void place(std::optional<std::string> parameters);
    bool placed() const {
        return !instances_.empty();
    }
    // Pre-update notification, update and draw for every placed instance;
    // installs the gauge again first if it was killed by a stop.
    void frame();
    // Mouse on the first placed instance (gauge pixels).
    bool click(int32_t x, int32_t y);
    std::optional<std::string> hover(int32_t x, int32_t y) const;

    Panel& panel() {
        return *panel_;
    }
    const Panel& panel() const {
        return *panel_;
    }

  private:
    struct Instance {
        GAUGEHDR header; // the instance's copy of all 352 bytes of the module's header
        std::optional<std::string> parameters; // owns the text header.parameters points at
    };
    struct Answer {
        enum class Kind { none, text, null_pointer } kind = Kind::none;
        std::string text;
    };
    struct Handler {
        KeyEventHandler function;
        void* user_data;
        bool operator==(const Handler&) const = default;
    };

    void install_gauge();
    void kill_gauge();
    void notify(Instance& instance, int32_t service_id);
    const GAUGEHDR* find_gauge_header(const char* name) const;
    ModuleRoutine entry(const char* name) const; // an exported function, or null

    // The simulator's services, as the module calls them.
    static int32_t execute_calculator_code(const char* expression, double* number, int32_t* integer,
                                           const char** text);
    static void register_key_event_handler(KeyEventHandler handler, void* user_data);
    static void unregister_key_event_handler(KeyEventHandler handler, void* user_data);

    std::string module_file_;
    std::optional<LoadedModule> library_; // first in, last out: unloaded after all else
    MODULE_LINKAGE* linkage_ = nullptr;
    IMPORT_TABLE* import_table_ = nullptr;
    PANELS services_{};
    std::unique_ptr<Panel> panel_;
    Answer answers_[3];
    std::vector<Handler> handlers_;
    std::vector<std::unique_ptr<Instance>> instances_;
    bool started_ = false;
    bool component_started_ = false;
    bool installed_ = false;
};

} // namespace sim
