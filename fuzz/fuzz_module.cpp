// libFuzzer harness for keywatch: random sequences of the module's entries
// played through the stand-in simulator's host against the built module file,
// with the log, the counter and the icon checked against a small model of the
// module after every step. A broken invariant aborts naming it and the steps
// that led there. Running it: docs/fuzzing.md; KEYWATCH_FUZZ_TRACE=1 prints
// every step.
//
// The input is a byte-code: an opcode byte, then its operands; a missing byte
// reads as 0. Bit 7 set: no frame after the step (by default every step ends
// with a frame and a look at the face). Bits 0-3:
//   0 start   1 stop   8 frame   14 unload the module and load it afresh
//   2, 3, 13 one event: class, id bytes, data class, data bytes
//   4 burst: count byte (1-16), then one event as above, sent that many times
//   5 click, 12 hover at (x, y): two bytes, each minus 32
//   6 click inside Activate's area, 7 inside Reset's: two position bytes
//   15 click at (x, y): two 16-bit values, anywhere at all
//   9 place a gauge: kind byte (none, empty, text), text length and bytes
//  10 aircraft answer: field, kind (none, null pointer, short or long text),
//     length and bytes
//  11 service notification straight to the gauge header's callback: service
//     code, null-gauge flag, parameter kind as for 9
// Texts are bytes 0x01-0xFF without CR and LF (CR becomes 0x0E, LF 0x0B): the
// module writes aircraft texts as they come, and a line break would split a
// record.

#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "fuzz/log_grammar.h"
#include "sim/host.h"

#ifndef KEYWATCH_MODULE_FILE
#error "KEYWATCH_MODULE_FILE must name the module file under test"
#endif

namespace fs = std::filesystem;
using keywatch_fuzz::Kind;
using keywatch_fuzz::Record;

namespace {

const char* const log_name = "Key_Events_Sent.log";

// ---- Input -------------------------------------------------------------------------

struct Input {
    const uint8_t* data;
    size_t size, pos = 0;

    uint8_t byte() {
        return pos < size ? data[pos++] : 0;
    }
    uint16_t u16() { // little-endian
        const uint16_t low = byte();
        return uint16_t(low | byte() << 8);
    }
    uint32_t u32() {
        const uint32_t low = u16();
        return low | uint32_t(u16()) << 16;
    }
    uint32_t pick(std::span<const uint32_t> from) {
        return from[byte() % from.size()];
    }
    // A text of `length` bytes 0x01-0xFF, with no CR or LF.
    std::string text(size_t length) {
        std::string out;
        for (size_t i = 0; i < length; ++i) {
            const uint8_t c = byte();
            out += char(c == 0 ? 1 : c == '\n' ? 0x0B : c == '\r' ? 0x0E : c);
        }
        return out;
    }
};

// ---- Steps and failures ----------------------------------------------------------------

std::vector<std::string> steps; // what this input has done so far, for the report
bool trace = false;             // print each step as it runs (KEYWATCH_FUZZ_TRACE set)

template <typename... Args> std::string format(const char* pattern, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// Bytes outside printable ASCII as \xHH, so that texts from the input show.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        out += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, char(c)) : format("\\x%02X", c);
    return out;
}

[[noreturn]] void violation(const std::string& what) {
    std::fprintf(stderr, "\nkeywatch fuzz: INVARIANT VIOLATED after step %zu: %s\nsteps:\n",
                 steps.size(), printable(what).c_str());
    for (size_t i = steps.size() > 60 ? steps.size() - 60 : 0; i < steps.size(); ++i)
        std::fprintf(stderr, "  %4zu %s\n", i + 1, printable(steps[i]).c_str());
    std::abort();
}

// ---- Model -----------------------------------------------------------------------------
// What the module's log, counter and face must show, kept from the entries
// alone: which events count, when records are written, what Reset and
// Activate do, and how the parameter string switches axis events on.

constexpr uint32_t axis_ids[] = {0x100E2, 0x100E3, 0x100E4, 0x100E5, 0x100E6, 0x102F3, 0x102F4};

struct Model {
    int handlers = 0;          // registrations of the handler since the last stop: 0 = stopped
    bool ever_started = false; // the module path is known once a start has run
    bool logging = true;       // Activate flips it, Reset turns it on
    bool log_open = false;     // the module holds the log open
    uint32_t count = 0;        // counted events since load or the last Reset
    bool parameters_seen = false, axis = false;
    std::vector<std::optional<std::string>> gauges; // parameter strings of the placed gauges
    // Text answers; no answer or a null pointer leaves the module's text as it was.
    std::optional<std::string> answers[3];
    std::string fields[3]; // title, type, model as the module should hold them
    // The last counted event's name: none before any; empty for a key event
    // whose name no record showed (logging was off).
    std::optional<std::string> last_name;
};

bool counted(const Model& model, uint32_t id) {
    const bool axis = std::ranges::find(axis_ids, id) != std::end(axis_ids);
    return id >= 0x11000 || (id >= 0x10000 && (!axis || model.axis));
}

void query_aircraft(Model& model) {
    for (int i = 0; i < 3; ++i)
        if (model.answers[i])
            model.fields[i] = model.answers[i]->size() < 260 ? *model.answers[i] : "";
}

// A pre-update notification for a gauge with these parameters.
void pre_update(Model& model, const std::optional<std::string>& parameters) {
    if (!model.parameters_seen && parameters) {
        model.parameters_seen = true;
        model.axis = !parameters->empty();
    }
}

// ---- The log ---------------------------------------------------------------------------

struct LogView {
    std::string content;                              // the log as checked so far
    double last_time = -1;                            // latest time in the current load block
    std::unordered_map<long long, std::string> names; // written event id -> its name
};

// What one step must have added to the log.
struct Expected {
    std::vector<Kind> kinds;
    bool truncated = false;    // Reset: the log starts afresh
    bool new_load = false;     // the module was loaded afresh after this step's records
    uint32_t id = 0, data = 0; // of the event sent, for event records
};

std::string read_from(size_t offset) {
    std::ifstream in(log_name, std::ios::binary);
    in.seekg(std::streamoff(offset));
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : std::string();
}

std::string kinds_text(const std::vector<Kind>& kinds) {
    std::string text = "[";
    for (Kind kind : kinds)
        text += std::string(text.size() > 1 ? ", " : "") + keywatch_fuzz::kind_name(kind);
    return text + "]";
}

// An event record: the event's id and data, and one name per id.
void check_event(LogView& view, Model& model, const Expected& expected, const Record& record) {
    if (record.id != int32_t(expected.id - 0x10000) || record.data != int32_t(expected.data))
        violation(format("event 0x%08" PRIX32 " data 0x%08" PRIX32 " written as id %lld data %lld",
                         expected.id, expected.data, record.id, record.data));
    const std::string& name = record.fields[1];
    if (record.kind == Kind::user_defined ? name != "User_Defined_Event" : name.empty())
        violation("event record with the name \"" + name + "\": " + record.line);
    auto [known, fresh] = view.names.emplace(record.id, name);
    if (!fresh && known->second != name)
        violation("event id " + std::to_string(record.id) + " named both " + known->second +
                  " and " + name);
    model.last_name = name;
}

void check_log(LogView& view, Model& model, const Expected& expected,
               const std::string& module_file) {
    std::fflush(nullptr); // whatever the module has buffered, on disk now
    if (expected.truncated)
        view.content.clear();
    const uintmax_t size = fs::exists(log_name) ? fs::file_size(log_name) : 0;
    if (size < view.content.size())
        violation(format("the log shrank from %zu to %ju bytes without a Reset",
                         view.content.size(), size));
    const std::string chunk = read_from(view.content.size());

    std::vector<Record> records;
    if (std::string why = keywatch_fuzz::parse_records(chunk, records); !why.empty())
        violation("the log is not well formed: " + why);
    std::vector<Kind> kinds;
    for (const Record& record : records)
        kinds.push_back(record.kind);
    if (kinds != expected.kinds)
        violation("the step wrote " + kinds_text(kinds) + ", expected " +
                  kinds_text(expected.kinds));

    for (const Record& record : records) {
        if (record.kind == Kind::aircraft_loaded)
            view.last_time = -1; // a new block: the clock was started again
        if (record.time < view.last_time)
            violation(format("time went back from %.6f to %.6f in one block", view.last_time,
                             record.time));
        view.last_time = record.time;
        if (record.kind == Kind::event || record.kind == Kind::user_defined) {
            check_event(view, model, expected, record);
            continue;
        }
        const std::string& title = model.fields[0];
        const std::string& type = model.fields[1];
        const std::string& aircraft = model.fields[2];
        const std::string path = model.ever_started ? module_file : "";
        // The other kinds have no text of their own: the grammar has read them.
        const std::string want =
            record.kind == Kind::aircraft_loaded
                ? "; Aircraft Loaded Title=" + title + "; Type=" + type + "; Model=" + aircraft
            : record.kind == Kind::aircraft_title
                ? " Aircraft Title= " + title + " Type= " + type + " Model= " + aircraft
            : record.kind == Kind::gauge_loaded    ? " Gauge Loaded= " + module_file
            : record.kind == Kind::gauge_refreshed ? " Gauge Refreshed= " + path
                                                   : record.line.substr(record.time_end);
        if (record.line.substr(record.time_end) != want)
            violation("record text differs from the model's: got \"" + record.line +
                      "\", expected the time followed by \"" + want + "\"");
    }
    view.content += chunk;
    if (expected.new_load)
        view.last_time = -1; // a fresh module: its clock has not started
}

// ---- Harness state ---------------------------------------------------------------------

std::string module_file = KEYWATCH_MODULE_FILE;
fs::path origin_directory;  // where the run was started
fs::path scratch_directory; // where the module writes its log
std::unique_ptr<sim::Host> host;

const void* linkage_address = nullptr; // where the first load put the module

// The module's coverage counters live in its file's mapping, which libFuzzer
// reads after each input and clears before the next: the module must stay
// mapped from one input to the next, and come back at the same address when
// it is loaded afresh (the loader puts it back into the hole it left).
void* kept_mapped = nullptr;

// The loaded module's Linkage, found as the simulator finds it.
MODULE_LINKAGE* loaded_linkage() {
    void* self = dlopen(module_file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    auto* linkage = self ? static_cast<MODULE_LINKAGE*>(dlsym(self, "Linkage")) : nullptr;
    if (self)
        dlclose(self); // the host keeps its own reference
    return linkage;
}

void load_module() {
    host.reset();
    host = std::make_unique<sim::Host>(module_file);
    const void* linkage = loaded_linkage();
    if (linkage_address == nullptr)
        linkage_address = linkage;
    if (linkage != linkage_address) {
        std::fprintf(stderr,
                     "keywatch fuzz: the module came back at another address (Linkage "
                     "%p, first %p); libFuzzer's counters of the old mapping are gone\n",
                     linkage, linkage_address);
        std::abort();
    }
}

// The host goes (stopping the module if started) but one reference keeps the
// module mapped until the next input begins.
void unload_keeping_mapped() {
    kept_mapped = dlopen(module_file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    // A start and the stop in the host's destructor close any log the module
    // still holds, so that its stream is freed with the rest of this input.
    if (!host->started())
        host->start();
    host.reset();
}

void release_mapping() {
    if (kept_mapped != nullptr)
        dlclose(kept_mapped); // the module unloads now, closing any stream it still holds
    kept_mapped = nullptr;
}

// ---- Face ------------------------------------------------------------------------------

struct Point {
    int32_t x, y;
};

bool inside(Point p, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
}

void frame(Model& model) {
    try {
        host->frame();
    } catch (const sim::HostError& error) {
        violation(std::string("frame failed: ") + error.what());
    }
    for (const auto& parameters : model.gauges)
        pre_update(model, parameters);
    const std::string want = format("Events = %05d", int32_t(model.count));
    const std::string counter = host->panel().counter_text();
    if (counter != want)
        violation("the counter reads \"" + counter + "\", expected \"" + want + "\"");
    if (host->panel().icon_on() != model.logging)
        violation(std::string("the icon shows ") + (model.logging ? "OFF" : "ON") +
                  " while logging is " + (model.logging ? "on" : "off"));
}

void hover(const Model& model, Point p) {
    const std::optional<std::string> tip = host->hover(p.x, p.y);
    const bool on_name = inside(p, 1, 55, 129, 79);
    // A key event's name shows only in its record, and none was written.
    const bool any_key_name = on_name && model.last_name && model.last_name->empty();
    const std::optional<std::string> want =
        on_name                      ? model.last_name.value_or("(null)")
        : inside(p, 72, 10, 127, 53) ? std::optional<std::string>("Reset")
        : inside(p, 5, 10, 66, 53)   ? std::optional<std::string>("Activate")
                                     : std::nullopt;
    const bool good = any_key_name
                          ? tip && !tip->empty() && *tip != "(null)" && *tip != "User_Defined_Event"
                          : tip == want;
    if (!good)
        violation(format("hover at (%d, %d) shows \"%s\", expected \"%s\"", p.x, p.y,
                         tip ? tip->c_str() : "(no tooltip)",
                         any_key_name ? "a key event's name"
                         : want       ? want->c_str()
                                      : "(no tooltip)"));
}

// ---- Decoding --------------------------------------------------------------------------

uint32_t event_id(Input& in) {
    // Both sides of every class boundary, a named key event, the last named
    // one, and numbers in the key span without a name (0x10006, 0x107A5).
    static constexpr uint32_t edges[] = {0xFFFF,  0x10000, 0x100E1, 0x100E7, 0x102F2, 0x102F5,
                                         0x10FFF, 0x11000, 0x10006, 0x10022, 0x107A4, 0x107A5};
    static constexpr uint32_t extremes[] = {0,          1,          0x7FFFFFFF, 0x80000000,
                                            0xFFFFFFFF, 0xFFFEFFFF, 0x8000FFFF, 0x80010000};
    const uint8_t kind = in.byte() % 8;
    return kind == 0   ? in.u16()                    // below the key range
           : kind == 1 ? 0x10000 + in.u16() % 0x1000 // the key span
           : kind == 2 ? in.pick(axis_ids)
           : kind == 3 ? uint32_t(0x11000 + uint64_t(in.u32()) % (0x100000000 - 0x11000))
           : kind == 4 ? in.pick(edges)
           : kind == 5 ? in.pick(extremes)
                       : in.u32();
}

uint32_t event_data(Input& in) {
    const uint8_t kind = in.byte() % 4;
    if (kind < 2)
        return kind == 0 ? 0 : 0xFFFFFFFF;
    return kind == 2 ? (in.byte() % 2 ? 0x80000000 : 0x7FFFFFFF) : in.u32();
}

std::optional<std::string> parameters(Input& in) {
    const uint8_t kind = in.byte() % 3;
    if (kind == 0)
        return std::nullopt;
    return kind == 1 ? std::string() : in.text(1 + in.byte() % 16);
}

Point anywhere(Input& in) {
    return {int32_t(in.byte()) - 32, int32_t(in.byte()) - 32}; // braces: read left to right
}

// ---- Steps -----------------------------------------------------------------------------

void send_events(Model& model, Expected& expected, uint32_t id, uint32_t data, int times) {
    expected.id = id;
    expected.data = data;
    for (int n = 0; n < times; ++n) {
        host->send_event(id, data);
        for (int h = 0; h < model.handlers; ++h) { // once per registration
            model.log_open |= model.logging;       // the handler opens a missing log first
            if (!counted(model, id))
                continue;
            model.count++;
            // A key event's name is known only from its record, if one is written.
            model.last_name = id >= 0x11000 ? "User_Defined_Event" : "";
            if (model.logging)
                expected.kinds.push_back(id >= 0x11000 ? Kind::user_defined : Kind::event);
        }
    }
}

void stop_records(const Model& model, Expected& expected) {
    if (model.log_open && model.logging)
        expected.kinds.push_back(Kind::logging_stopped);
    if (model.log_open)
        expected.kinds.push_back(Kind::log_file_closed);
}

void click(Model& model, Expected& expected, Point p) {
    const bool activate = inside(p, 5, 20, 66, 53), reset = inside(p, 72, 20, 127, 53);
    if (host->click(p.x, p.y) != (activate || reset))
        violation(format("click at (%d, %d) %s", p.x, p.y,
                         reset || activate ? "missed its click area" : "was taken outside both"));
    if (!activate && !reset)
        return;
    model.log_open = true;
    if (activate) {
        model.logging = !model.logging;
        expected.kinds = {model.logging ? Kind::logging_started : Kind::logging_stopped};
        steps.back() += " (Activate)";
    } else {
        model.logging = true;
        model.count = 0;
        query_aircraft(model);
        expected.truncated = true;
        expected.kinds = {Kind::gauge_refreshed, Kind::aircraft_title, Kind::logging_started};
        steps.back() += " (Reset)";
    }
}

enum class Op { start, stop, event, click, frame, place, answer, notify, hover, reload };
constexpr Op op_kinds[16] = {Op::start, Op::stop,  Op::event,  Op::event, Op::event,  Op::click,
                             Op::click, Op::click, Op::frame,  Op::place, Op::answer, Op::notify,
                             Op::hover, Op::event, Op::reload, Op::click};

void step(Input& in, Model& model, LogView& view) {
    const uint8_t op = in.byte();
    Expected expected;
    steps.push_back(format("op 0x%02X", op));
    std::string& what = steps.back();
    switch (op_kinds[op & 0x0F]) {
    case Op::start:
        what = "start";
        host->start();
        model.handlers++;
        model.ever_started = model.log_open = true;
        query_aircraft(model);
        expected.kinds = {Kind::aircraft_loaded, Kind::gauge_loaded};
        break;
    case Op::stop:
        what = "stop";
        host->stop();
        stop_records(model, expected);
        model.log_open = false;
        model.handlers = 0;
        break;
    case Op::event: {
        const int times = (op & 0x0F) == 4 ? 1 + in.byte() % 16 : 1;
        const uint32_t id = event_id(in);
        const uint32_t data = event_data(in);
        what = format("event 0x%08" PRIX32 " data 0x%08" PRIX32 " x%d", id, data, times);
        send_events(model, expected, id, data, times);
        break;
    }
    case Op::click: {
        const Point p = (op & 0x0F) == 6    ? Point{5 + in.byte() % 61, 20 + in.byte() % 33}
                        : (op & 0x0F) == 7  ? Point{72 + in.byte() % 55, 20 + in.byte() % 33}
                        : (op & 0x0F) == 15 ? Point{int16_t(in.u16()), int16_t(in.u16())}
                                            : anywhere(in);
        what = format("click %d %d", p.x, p.y);
        if (model.gauges.empty())
            what += " (no gauge: skipped)";
        else
            click(model, expected, p);
        break;
    }
    case Op::frame:
        what = "frame";
        if (!model.gauges.empty())
            frame(model);
        break;
    case Op::place: {
        std::optional<std::string> text = parameters(in);
        what = text ? format("place \"%s\"", text->c_str()) : "place (no parameters)";
        if (model.gauges.size() >= 6) {
            what += " (six placed: skipped)";
            break;
        }
        try {
            host->place(text);
        } catch (const sim::HostError& error) {
            violation(std::string("place failed: ") + error.what());
        }
        model.gauges.push_back(std::move(text));
        break;
    }
    case Op::answer: {
        const uint8_t field = in.byte() % 3, kind = in.byte() % 4;
        const auto which = sim::AircraftField(field);
        std::optional<std::string> text; // short texts, or long ones around the 260-byte buffer
        if (kind >= 2)
            text = in.text(kind == 2 ? in.byte() % 64 : 250 + in.byte() % 51);
        if (kind == 1)
            host->answer_null_pointer(which);
        else
            host->set_answer(which, text);
        model.answers[field] = text;
        what = format("answer field %d kind %d length %zu", field, kind, text ? text->size() : 0);
        break;
    }
    case Op::notify: {
        const uint8_t code = in.byte();
        const int32_t service = code >= 0xF0 ? int32_t(in.u32()) : code % 16;
        const bool null_gauge = in.byte() % 8 == 0;
        std::optional<std::string> text = parameters(in);
        what = format("notify %d%s %s", service, null_gauge ? " (no gauge)" : "",
                      text ? ("\"" + *text + "\"").c_str() : "(no parameters)");
        // The host sends codes 0-6, 12 and 13 in their places; this sends any
        // code, with any header, as a simulator might.
        const MODULE_LINKAGE* linkage = loaded_linkage();
        if (linkage == nullptr || linkage->gauges[0] == nullptr)
            violation("the loaded module shows no Linkage with a gauge");
        GAUGEHDR gauge = *linkage->gauges[0];
        gauge.parameters = text ? text->c_str() : nullptr;
        if (gauge.gauge_callback != nullptr)
            gauge.gauge_callback(null_gauge ? nullptr : &gauge, service, uintptr_t(in.u32()));
        if (service == 6 && !null_gauge)
            pre_update(model, text);
        break;
    }
    case Op::hover: {
        const Point p = anywhere(in);
        what = format("hover %d %d", p.x, p.y);
        if (!model.gauges.empty())
            hover(model, p);
        break;
    }
    case Op::reload:
        what = "reload";
        if (model.handlers > 0)
            stop_records(model, expected);
        load_module();
        model = Model{};
        expected.new_load = true;
        break;
    }
    if (trace)
        std::fprintf(stderr, "step %zu: %s\n", steps.size(), printable(what).c_str());
    check_log(view, model, expected, host->module_file());
    if (!(op & 0x80) && !model.gauges.empty())
        frame(model);
}

} // namespace

// ---- libFuzzer entry points ----------------------------------------------------------------

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    origin_directory = fs::current_path();
    // Another module file, for instance a deliberately broken one to see the
    // checks catch it.
    if (const char* other = std::getenv("KEYWATCH_FUZZ_MODULE"))
        module_file = fs::absolute(other).string();
    trace = std::getenv("KEYWATCH_FUZZ_TRACE") != nullptr;
    std::string scratch = (fs::temp_directory_path() / "keywatch-fuzz-XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr) {
        std::perror("keywatch fuzz: mkdtemp");
        std::exit(1);
    }
    scratch_directory = scratch;
    std::atexit([] {
        std::error_code ignored;
        fs::current_path(scratch_directory, ignored);
        host.reset(); // stops the module and closes its log before the directory goes
        release_mapping();
        fs::current_path(origin_directory, ignored);
        fs::remove_all(scratch_directory, ignored);
    });
    // The harness works inside the scratch directory; crash files belong
    // where the run was started.
    static std::vector<char*> arguments(*argv, *argv + *argc);
    static std::string prefix = "-artifact_prefix=" + origin_directory.string() + "/";
    for (char* argument : arguments)
        if (std::string(argument).rfind("-artifact_prefix=", 0) == 0)
            return 0;
    arguments.push_back(prefix.data());
    arguments.push_back(nullptr);
    *argc = int(arguments.size() - 1);
    *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fs::current_path(scratch_directory);
    try {
        release_mapping(); // the previous input's module, with any log it still holds
        std::error_code ignored;
        fs::remove(log_name, ignored);
        load_module();

        Input in{data, size};
        Model model;
        LogView view;
        while (in.pos < in.size)
            step(in, model, view);
        // Everything the steps added, and nothing else, is in the file.
        std::fflush(nullptr);
        if (read_from(0) != view.content)
            violation("the log on disk differs from what the steps wrote");
        // Everything the input allocated goes with it, so libFuzzer's leak
        // check does not rerun every input that grew the host.
        unload_keeping_mapped();
        steps = {};
    } catch (const std::exception& error) {
        violation(std::string("the host failed: ") + error.what());
    }
    fs::current_path(origin_directory);
    return 0;
}
