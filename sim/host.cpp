// The host side of the stand-in simulator. It loads the module file the way
// the simulator does, by name lookup of its exports and nothing else (Linkage
// and ImportTable for the panel system, Panels, DLLStart and DLLStop for a
// DLL component), answers the module's service calls, delivers key events
// and drives the gauge header's routines. One source for Linux and Windows.
#include "sim/host.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>

#include "platform/system_words.h"
#else
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#endif

namespace sim {

namespace {

// The module calls plain functions; they find their host here. Only the
// constructor and destructor of Host change it.
Host* active_host = nullptr;

// The three aircraft queries, in the order of AircraftField.
constexpr const char* aircraft_expressions[] = {
    "(A:TITLE, string)",
    "(A:ATC TYPE, string)",
    "(A:ATC MODEL, string)",
};

// ---- Loading the module file ------------------------------------------------------

// The one failure of a load that is the module's own doing, said the same
// way on both targets.
const char* const entry_point_failed = "its entry point (DllMain) reported failure";

#ifdef _WIN32

std::string last_error_text() {
    DWORD code = GetLastError();
    if (code == ERROR_DLL_INIT_FAILED)
        return entry_point_failed;
    char text[512] = {};
    return system_words(code, text, sizeof text) > 0 ? std::string(text)
                                                     : "error " + std::to_string(code);
}

#else

constexpr uint32_t process_detach = 0, process_attach = 1; // DLL_PROCESS_DETACH, _ATTACH

#endif

} // namespace

// ---- The module file ----------------------------------------------------------------------

#ifdef _WIN32

// Windows' loader calls the entry point itself and fails the load for it.
LoadedModule::LoadedModule(const std::string& path) {
    library_ = LoadLibraryA(path.c_str());
    if (library_ == nullptr)
        throw HostError("cannot load module " + path + ": " + last_error_text());
}

LoadedModule::~LoadedModule() {
    FreeLibrary(static_cast<HMODULE>(library_));
}

void* LoadedModule::symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library_), name));
}

#else

LoadedModule::LoadedModule(const std::string& path) {
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* why = dlerror();
        throw HostError("cannot load module " + path + ": " + (why ? why : "unknown error"));
    }
    // The ELF header lies at the start of the file's first mapping, and its
    // entry point is an address in the file, moved by where the file lies.
    link_map* map = nullptr;
    Dl_info mapping{};
    if (dlinfo(library_, RTLD_DI_LINKMAP, &map) == 0 && dladdr(map->l_ld, &mapping) != 0) {
        const auto* header = static_cast<const ElfW(Ehdr)*>(mapping.dli_fbase);
        instance_ = mapping.dli_fbase;
        if (std::memcmp(header->e_ident, ELFMAG, SELFMAG) == 0 && header->e_entry != 0)
            entry_ = reinterpret_cast<EntryPoint>(map->l_addr + header->e_entry);
    }
    if (entry_ != nullptr && entry_(instance_, process_attach, nullptr) == 0) {
        entry_(instance_, process_detach, nullptr);
        dlclose(library_);
        throw HostError("cannot load module " + path + ": " + entry_point_failed);
    }
}

LoadedModule::~LoadedModule() {
    if (entry_ != nullptr)
        entry_(instance_, process_detach, nullptr);
    dlclose(library_);
}

void* LoadedModule::symbol(const char* name) const {
    return dlsym(library_, name);
}

#endif

// ---- Load and unload ------------------------------------------------------------------

Host::Host(const std::string& module_file) {
    if (active_host != nullptr)
        throw HostError("a module is already loaded: the stand-in simulator runs one at a time");
    std::filesystem::path path = std::filesystem::absolute(module_file).lexically_normal();
    module_file_ = path.make_preferred().string();
    library_.emplace(module_file_); // from here on, a throw unloads it again
    linkage_ = static_cast<MODULE_LINKAGE*>(library_->symbol("Linkage"));
    import_table_ = static_cast<IMPORT_TABLE*>(library_->symbol("ImportTable"));
    const char* missing = linkage_ == nullptr        ? "Linkage"
                          : import_table_ == nullptr ? "ImportTable"
                                                     : nullptr;
    if (missing == nullptr && import_table_->panels.id != IMPORT_PANELS_ID)
        missing = "a panel-service entry in ImportTable";
    if (missing != nullptr)
        throw HostError(module_file_ + " is not a gauge module: it exports no " +
                        std::string(missing));

    services_.execute_calculator_code = execute_calculator_code;
    services_.register_key_event_handler = register_key_event_handler;
    services_.unregister_key_event_handler = unregister_key_event_handler;
    panel_ = std::make_unique<Panel>(library_->handle(), module_file_);
    use_panel_services(services_, panel_.get());
    // The simulator binds its services right after loading, so gauges
    // placed before the module's start find them too.
    import_table_->panels.table = &services_;
    active_host = this;
}

Host::~Host() {
    if (started_)
        stop();
    else
        kill_gauge();
    const ModuleRoutine dll_stop = component_started_ ? entry("DLLStop") : nullptr;
    if (dll_stop != nullptr)
        dll_stop();
    use_panel_services(services_, nullptr);
    panel_.reset(); // gives back the buffers it attached to the module's elements
    import_table_->panels.table = nullptr;
    if (auto panels = static_cast<PANELS**>(library_->symbol("Panels")))
        *panels = nullptr;
    active_host = nullptr;
    library_.reset();
}

// ---- Calculator answers -----------------------------------------------------------------

void Host::set_answer(AircraftField field, std::optional<std::string> text) {
    Answer& answer = answers_[static_cast<size_t>(field)];
    answer.kind = text ? Answer::Kind::text : Answer::Kind::none;
    answer.text = text.value_or("");
}

void Host::answer_null_pointer(AircraftField field) {
    answers_[static_cast<size_t>(field)] = {Answer::Kind::null_pointer, ""};
}

int32_t Host::execute_calculator_code(const char* expression, double* /*number*/,
                                      int32_t* /*integer*/, const char** text) {
    if (active_host == nullptr || expression == nullptr)
        return 0;
    for (size_t i = 0; i < std::size(aircraft_expressions); ++i) {
        if (std::strcmp(expression, aircraft_expressions[i]) != 0)
            continue;
        const Answer& answer = active_host->answers_[i];
        if (answer.kind == Answer::Kind::none || text == nullptr)
            return 0;
        *text = answer.kind == Answer::Kind::text ? answer.text.c_str() : nullptr;
        return 1;
    }
    return 0; // an expression this simulator does not know: no answer
}

// ---- Module start and stop ----------------------------------------------------------------

void Host::start() {
    import_table_->panels.table = &services_;
    if (linkage_->module_init != nullptr)
        linkage_->module_init();
    started_ = true;
}

void Host::start_without_services() {
    import_table_->panels.table = nullptr;
    if (linkage_->module_init != nullptr)
        linkage_->module_init();
    // Bound late, as a simulator that fills the table only after the start
    // routine would; the gauge routines need it from here on.
    import_table_->panels.table = &services_;
    started_ = true;
}

void Host::stop() {
    kill_gauge();
    if (linkage_->module_deinit != nullptr)
        linkage_->module_deinit();
    started_ = false;
}

// ---- The module as a DLL component --------------------------------------------------------

ModuleRoutine Host::entry(const char* name) const {
    return reinterpret_cast<ModuleRoutine>(library_->symbol(name));
}

void Host::start_component(bool with_services) {
    const ModuleRoutine dll_start = entry("DLLStart");
    if (dll_start == nullptr)
        throw HostError("cannot start " + module_file_ +
                        " as a DLL component: it exports no DLLStart");
    if (auto panels = static_cast<PANELS**>(library_->symbol("Panels")))
        *panels = with_services ? &services_ : nullptr;
    dll_start();
    component_started_ = true;
}

void Host::stop_component() {
    const ModuleRoutine dll_stop = entry("DLLStop");
    if (dll_stop == nullptr)
        throw HostError("cannot stop " + module_file_ +
                        " as a DLL component: it exports no DLLStop");
    dll_stop();
    component_started_ = false;
}

// ---- Key events ------------------------------------------------------------------------------

void Host::register_key_event_handler(KeyEventHandler handler, void* user_data) {
    if (active_host != nullptr && handler != nullptr)
        active_host->handlers_.push_back({handler, user_data});
}

void Host::unregister_key_event_handler(KeyEventHandler handler, void* user_data) {
    if (active_host != nullptr)
        std::erase(active_host->handlers_, Handler{handler, user_data});
}

void Host::send_event(uint32_t id, uint32_t data) {
    // A handler may unregister itself or another one while the event goes
    // round; one that is gone by its turn is not called.
    const std::vector<Handler> round = handlers_;
    for (const Handler& handler : round)
        if (std::find(handlers_.begin(), handlers_.end(), handler) != handlers_.end())
            handler.function(id, data, handler.user_data);
}

// ---- Gauges -------------------------------------------------------------------------------------

const GAUGEHDR* Host::find_gauge_header(const char* name) const {
    for (GAUGEHDR* const* gauge = linkage_->gauges; *gauge != nullptr; ++gauge)
        if ((*gauge)->gauge_name != nullptr && std::strcmp((*gauge)->gauge_name, name) == 0)
            return *gauge;
    return nullptr;
}

void Host::notify(Instance& instance, int32_t service_id) {
    if (instance.header.gauge_callback != nullptr)
        instance.header.gauge_callback(&instance.header, service_id, 0);
}

void Host::place(std::optional<std::string> parameters) {
    const GAUGEHDR* gauge = find_gauge_header("keywatch");
    if (gauge == nullptr)
        throw HostError("the module lists no gauge named \"keywatch\"");
    auto instance = std::make_unique<Instance>();
    instance->header = *gauge;
    instance->parameters = std::move(parameters);
    instance->header.parameters = instance->parameters ? instance->parameters->c_str() : nullptr;
    instances_.push_back(std::move(instance));
    if (!installed_)
        install_gauge();
}

// Query, install and initialise, each between its pre and post notifications
// to every placed instance. The routines work on the module's one element
// tree, so they run once however many instances there are.
void Host::install_gauge() {
    GAUGEHDR& gauge = instances_.front()->header;
    bool ok = true; // every routine gave its service's success
    auto around = [&](int32_t pre, auto&& routine) {
        for (auto& instance : instances_)
            notify(*instance, pre);
        ok = routine() != 0 && ok;
        for (auto& instance : instances_)
            notify(*instance, pre + 1);
    };
    around(PANEL_SERVICE_PRE_QUERY,
           [&] { return gauge.query_routine != nullptr ? gauge.query_routine() : 1; });
    around(PANEL_SERVICE_PRE_INSTALL, [&] {
        return gauge.install_routine != nullptr ? gauge.install_routine(library_->handle()) : 1;
    });
    around(PANEL_SERVICE_PRE_INITIALIZE,
           [&] { return gauge.initialize_routine != nullptr ? gauge.initialize_routine() : 1; });
    if (!ok || !panel_->installed())
        throw HostError("the gauge could not be installed: " + panel_->error());
    installed_ = true;
}

void Host::kill_gauge() {
    if (!installed_ || instances_.empty())
        return;
    GAUGEHDR& gauge = instances_.front()->header;
    for (auto& instance : instances_)
        notify(*instance, PANEL_SERVICE_PRE_KILL);
    if (gauge.kill_routine != nullptr)
        gauge.kill_routine();
    for (auto& instance : instances_)
        notify(*instance, PANEL_SERVICE_POST_KILL);
    installed_ = false;
}

void Host::frame() {
    if (instances_.empty())
        throw HostError("frame needs a placed gauge");
    if (!installed_)
        install_gauge();
    bool ok = true; // every routine gave its service's success
    for (auto& instance : instances_) {
        GAUGEHDR& gauge = instance->header;
        notify(*instance, PANEL_SERVICE_PRE_UPDATE);
        if (gauge.update_routine != nullptr)
            ok = gauge.update_routine() != 0 && ok;
        if (gauge.draw_routine != nullptr)
            ok = gauge.draw_routine() != 0 && ok;
    }
    if (!ok || !panel_->drawn())
        throw HostError("the gauge could not be drawn: " + panel_->error());
}

bool Host::click(int32_t x, int32_t y) {
    if (instances_.empty())
        throw HostError("click needs a placed gauge");
    return panel_->click_at(instances_.front()->header, x, y);
}

std::optional<std::string> Host::hover(int32_t x, int32_t y) const {
    if (instances_.empty())
        throw HostError("hover needs a placed gauge");
    return panel_->tooltip_at(instances_.front()->header, x, y);
}

} // namespace sim
