// libFuzzer harness: random sequences of the module's entries, played through the stand-in
// simulator against the built module (or KEYWATCH_FUZZ_MODULE). After every step the log must
// fit its grammar and a few counters must agree with the log and the face. See docs/fuzzing.md.

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "sim/host.h"
#include "sim/keywatch_face.h"

namespace fs = std::filesystem;

namespace {

// The nine records (and the empty line that stands before each aircraft-loaded
// record and nowhere else): times with six decimals, numbers as %d prints
// them, and names, paths and aircraft texts any bytes but CR and LF.
enum Kind { event, user, loaded, gauge, stopped, closed, refreshed, title, started, blank, none };

#define TIME   R"(\d+\.\d{6})"
#define TEXT   R"([^\r\n]*)"
#define NUMBER R"((0|-?[1-9]\d{0,9}))"
const char* const grammars[] = {
    " Time=" TIME "; id=" NUMBER "; event_in=(" TEXT "); evdata=" NUMBER,
    " Time= " TIME " id= " NUMBER " event_in= (" TEXT ") evdata= " NUMBER,
    " Time=" TIME "; Aircraft Loaded Title=" TEXT "; Type=" TEXT "; Model=" TEXT,
    " Time= " TIME " Gauge Loaded= " TEXT,
    " Time= " TIME " Logging Stopped",
    " Time= " TIME " Log File Closed",
    " Time= " TIME " Gauge Refreshed= " TEXT,
    " Time= " TIME " Aircraft Title= " TEXT " Type= " TEXT " Model= " TEXT,
    " Time= " TIME " Logging Started",
    "",
};

struct Input {
    const uint8_t* data;
    size_t size, pos = 0;

    uint8_t byte() {
        return pos < size ? data[pos++] : 0;
    }
    uint32_t number(int bytes) { // little-endian
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= uint32_t(byte()) << 8 * i;
        return value;
    }
    // No NUL, CR or LF: the module writes aircraft texts as they come.
    std::string text(size_t length) {
        std::string out;
        while (out.size() < length) {
            const uint8_t c = byte();
            out += char(c == 0 ? 1 : c == '\n' ? 0x0B : c == '\r' ? 0x0E : c);
        }
        return out;
    }
    std::optional<std::string> parameters() {
        const uint8_t kind = byte() % 3;
        return kind == 0 ? std::nullopt : std::optional(kind == 1 ? "" : text(1 + byte() % 16));
    }
    int32_t coordinate() {
        const uint8_t b = byte();
        return b < 0xF0 ? b - 32 : int16_t(number(2));
    }
    uint32_t event_id() { // below the key range, a key, a class edge, or any 32 bits
        static constexpr uint32_t edges[] = {0xFFFF,  0x10000, 0x100E1, 0x100E2, 0x100E6, 0x100E7,
                                             0x102F2, 0x102F3, 0x102F4, 0x102F5, 0x10FFF, 0x11000};
        const uint8_t kind = byte() % 4;
        return kind == 0   ? number(2)
               : kind == 1 ? 0x10000 + number(2) % 0x1000
               : kind == 2 ? edges[byte() % 12]
                           : number(4);
    }
};

const char* const log_name = "Key_Events_Sent.log";
std::string module_file = KEYWATCH_MODULE_FILE;
fs::path origin_directory, scratch_directory; // where the run started; where the log goes
std::unique_ptr<sim::Host> host;
MODULE_LINKAGE* linkage = nullptr;
// libFuzzer reads the module's counters after each input: keep it mapped until the next.
void* kept_mapped = nullptr;
size_t step_number = 0;
// A stream the module did not open, which the periodic flush must reach too.
FILE* probe = nullptr;
size_t probe_bytes = 0;

struct State {
    std::string log;                                // the log as checked so far
    double last_time = -1;                          // latest time in this load block
    std::map<long long, std::string> names;         // written event id -> its name
    std::vector<std::optional<std::string>> gauges; // parameter strings of placed gauges
    bool logging = true, parameters_seen = false, axis = false;
    uint32_t count = 0; // counted handler calls since load or the last Reset
    uint64_t calls = 0; // handler calls since load: every fifth flushes all streams
};

struct Expected {                                // what one step must add to the log
    std::vector<std::vector<Kind>> kinds = {{}}; // one of these, record by record
    bool truncated = false, flushed = false;
    uint32_t id = 0, data = 0; // the event sent
};

[[noreturn]] void violation(const std::string& what) {
    std::fprintf(stderr, "\nkeywatch fuzz: INVARIANT VIOLATED at step %zu: %s\n", step_number,
                 what.c_str());
    std::abort();
}

void load_module() {
    host.reset();
    host = std::make_unique<sim::Host>(module_file);
    void* self = dlopen(module_file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    linkage = static_cast<MODULE_LINKAGE*>(dlsym(self, "Linkage"));
    dlclose(self); // the host keeps its own reference
}

// Axis events count once the first parameter string a pre-update brings is not empty.
void pre_update(State& s, const std::optional<std::string>& parameters) {
    if (!s.parameters_seen && parameters)
        s.parameters_seen = true, s.axis = !parameters->empty();
}

void frame(State& s) {
    host->frame();
    for (const auto& parameters : s.gauges)
        pre_update(s, parameters);
    char want[32];
    std::snprintf(want, sizeof want, "Events = %05d", int32_t(s.count));
    const sim::KeywatchFace face = sim::read_keywatch_face(host->panel());
    if (face.counter != want)
        violation("the counter reads \"" + face.counter + "\", not " + want);
    if (face.icon_on != s.logging)
        violation("the icon does not show whether logging is on");
}

// Each record and empty line begins with CR LF; the log never ends with a
// line break.
void check_log(State& s, const Expected& expected) {
    static const std::vector<std::regex> patterns(std::begin(grammars), std::end(grammars));
    const uintmax_t on_disk = fs::exists(log_name) ? fs::file_size(log_name) : 0;
    if (expected.flushed && probe_bytes != fs::file_size("probe"))
        violation("the fifth handler call did not flush a stream the module did not open");
    std::fflush(nullptr); // whatever the module has buffered, written now
    std::ifstream in(log_name, std::ios::binary);
    const std::string log(std::istreambuf_iterator<char>(in), {});
    if (expected.flushed && on_disk != log.size())
        violation("records still buffered after the fifth handler call");
    const std::string kept = expected.truncated ? std::string() : s.log;
    if (!log.starts_with(kept))
        violation("the log lost or changed what it held");
    const std::string text = log.substr(kept.size());
    if (!text.empty() && (!text.starts_with("\r\n") || log.ends_with('\n') || log.ends_with('\r')))
        violation("records must begin with CR LF and the log not end with a line break");
    std::vector<Kind> kinds;
    for (size_t pos = 2, end = 0; end < text.size(); pos = end + 2) {
        end = std::min(text.find("\r\n", pos), text.size());
        const std::string line = text.substr(pos, end - pos);
        std::smatch match;
        Kind kind = event;
        while (kind < none && !std::regex_match(line, match, patterns[kind]))
            kind = Kind(kind + 1);
        if (kind == none)
            violation("a line that is no record (or a lone CR or LF): " + line);
        kinds.push_back(kind);
        if (kind == blank) // the module was started: its clock starts again
            s.last_time = -1;
        else if (const double t = std::stod(line.substr(line.find_first_of("0123456789")));
                 t < std::exchange(s.last_time, t))
            violation("time went back: " + line);
        if (kind > user)
            continue;
        if (std::stoll(match[1]) != int32_t(expected.id - 0x10000) ||
            std::stoll(match[3]) != int32_t(expected.data) ||
            (kind == user) != (match[2] == "User_Defined_Event"))
            violation("not the event just sent: " + line);
        if (s.names.emplace(std::stoll(match[1]), match[2]).first->second != match[2])
            violation("one id under two names: " + line);
    }
    if (std::ranges::find(expected.kinds, kinds) == expected.kinds.end())
        violation("the step wrote other records than it should: " + text);
    s.log = log;
}

enum Op { start, stop, draw, load, send, burst, toggle, reset, click, hover, place, answer, call };

void step(Input& in, State& s) {
    const Op op = Op(in.byte() % 13);
    Expected expected;
    switch (op) {
    case start:
        host->start();
        expected.kinds = {{blank, loaded, gauge}};
        break;
    case stop:
        host->stop();
        expected.kinds = {{}, {closed}, {stopped, closed}};
        break;
    case draw:
        if (!s.gauges.empty())
            frame(s);
        break;
    case load:
        load_module(); // the old one stops first, if started, and writes with its own clock
        s = State{.log = s.log, .last_time = s.last_time, .names = s.names};
        expected.kinds = {{}, {closed}, {stopped, closed}};
        break;
    case send:
    case burst: {
        const uint32_t times = op == burst ? 1 + in.byte() % 16 : 1, id = in.event_id();
        const uint8_t data_kind = in.byte() % 3;
        const uint32_t data = data_kind == 0 ? 0 : data_kind == 1 ? 0xFFFFFFFF : in.number(4);
        probe_bytes += std::fputc('.', probe) != EOF;
        for (uint32_t n = 0; n < times; ++n)
            host->send_event(id, data);
        const uint32_t calls = times * uint32_t(host->handler_count());
        const bool axis = (id >= 0x100E2 && id <= 0x100E6) || id == 0x102F3 || id == 0x102F4;
        if (id >= 0x11000 || (id >= 0x10000 && (!axis || s.axis))) {
            s.count += calls;
            if (s.logging)
                expected.kinds = {std::vector(calls, id >= 0x11000 ? user : event)};
        }
        s.calls += calls;
        expected.flushed = calls > 0 && s.calls % 5 == 0;
        expected.id = id, expected.data = data;
        break;
    }
    case toggle: // aimed at Activate's area, Reset's, or anywhere
    case reset:
    case click:
    case hover: {
        const int32_t x = op == toggle  ? 5 + in.byte() % 61
                          : op == reset ? 72 + in.byte() % 55
                                        : in.coordinate();
        const int32_t y = op >= click ? in.coordinate() : 20 + in.byte() % 33;
        if (s.gauges.empty() || (op == hover && (host->hover(x, y), true)))
            break;
        const bool on_activate = x >= 5 && x < 66 && y >= 20 && y < 53;
        const bool on_reset = x >= 72 && x < 127 && y >= 20 && y < 53;
        if (host->click(x, y) != (on_activate || on_reset))
            violation("a click taken outside the two areas, or missed inside one");
        if (on_activate)
            s.logging = !s.logging, expected.kinds = {{s.logging ? started : stopped}};
        else if (on_reset)
            s.logging = true, s.count = 0, expected.truncated = true,
            expected.kinds = {{refreshed, title, started}};
        break;
    }
    case place:
        if (auto parameters = in.parameters(); s.gauges.size() < 6) {
            host->place(parameters);
            s.gauges.push_back(std::move(parameters));
        }
        break;
    case answer: { // no answer, an empty, a short or a long text (about 260 bytes)
        const auto field = sim::AircraftField(in.byte() % 3);
        const uint8_t kind = in.byte() % 4;
        const size_t length = kind < 2 ? 0 : kind == 2 ? in.byte() % 64 : 250 + in.byte() % 51;
        host->set_answer(field, kind == 0 ? std::nullopt : std::optional(in.text(length)));
        break;
    }
    case call: { // any service code, with or without a gauge, straight to the callback
        const uint8_t code = in.byte();
        const int32_t service = code >= 0xF0 ? int32_t(in.number(4)) : code % 16;
        const bool no_gauge = in.byte() % 8 == 0;
        GAUGEHDR header = *linkage->gauges[0]; // no parameter string
        header.gauge_callback(no_gauge ? nullptr : &header, service, uintptr_t(in.number(4)));
        break;
    }
    }
    check_log(s, expected);
    if (op == load)
        s.last_time = -1; // the fresh module's clock has not started
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    origin_directory = fs::current_path();
    if (const char* other = std::getenv("KEYWATCH_FUZZ_MODULE")) // say, a deliberately broken one
        module_file = fs::absolute(other).string();
    scratch_directory = fs::temp_directory_path() / ("keywatch-fuzz-" + std::to_string(getpid()));
    fs::create_directories(scratch_directory);
    probe = std::fopen((scratch_directory / "probe").c_str(), "w");
    std::atexit([] { // each input ends with the host gone and the log closed
        if (kept_mapped != nullptr)
            dlclose(kept_mapped);
        fs::remove_all(scratch_directory);
    });
    // Crash files go where the run was started, unless the command line says otherwise.
    static std::vector<char*> arguments(*argv, *argv + *argc + 1); // with the closing null
    static std::string prefix = "-artifact_prefix=" + origin_directory.string() + "/";
    arguments.insert(arguments.begin() + 1, prefix.data());
    *argc += 1, *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fs::current_path(scratch_directory);
    if (kept_mapped != nullptr)
        dlclose(std::exchange(kept_mapped, nullptr)); // the previous input's module goes
    fs::remove(log_name);
    load_module(); // a host that fails throws, and the run stops there
    Input in{data, size};
    State state;
    for (step_number = 1; in.pos < in.size; ++step_number)
        step(in, state);
    // A start and the host's stop close any log the module holds, so that
    // libFuzzer's leak check finds nothing left and does not rerun the input.
    kept_mapped = dlopen(module_file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!host->started())
        host->start();
    host.reset();
    fs::current_path(origin_directory);
    return 0;
}
