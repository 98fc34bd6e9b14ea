// libFuzzer harness for keywatch: random sequences of the module's entries
// played through the stand-in simulator's host against the built module file
// (under AddressSanitizer and UndefinedBehaviorSanitizer). After every step
// the log must fit its grammar and a few counters must agree with the log and
// the face. A broken invariant aborts with a message; KEYWATCH_FUZZ_TRACE=1
// prints every step, KEYWATCH_FUZZ_MODULE names another module file. The
// byte-code of the inputs is described in docs/fuzzing.md.

#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "sim/host.h"

namespace fs = std::filesystem;

namespace {

// ---- The log's grammar -----------------------------------------------------------------
// Every line is one of nine records: times in fixed notation with six
// decimals, numbers as %d prints a signed 32-bit value, and names, paths and
// aircraft texts any bytes but the two line-break characters.

enum Kind { event, user, loaded, gauge, stopped, closed, refreshed, title, started, none };

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
};

struct Record {
    Kind kind = event;
    std::string line, name; // name: of an event record
    long long id = 0, data = 0;
};

// Reads `text`, whole records as the module writes them one after another:
// each begins with CR LF, the aircraft-loaded record with two (so an empty
// line stands before it and nowhere else), and the text never ends with a
// line break. Returns what is wrong, or an empty string.
std::string parse(const std::string& text, std::vector<Record>& records) {
    static const std::vector<std::regex> patterns(std::begin(grammars), std::end(grammars));
    if (text.empty())
        return {};
    if (!text.starts_with("\r\n") || text.ends_with('\n') || text.ends_with('\r'))
        return "records must begin with CR LF and not end with a line break";
    bool blank = false;
    for (size_t pos = 2, end = 0; end != text.size(); pos = end + 2) {
        end = std::min(text.find("\r\n", pos), text.size());
        Record record{.line = text.substr(pos, end - pos)};
        if (record.line.find_first_of("\r\n") != std::string::npos)
            return "a lone CR or LF in: " + record.line;
        if (record.line.empty() && std::exchange(blank, true))
            return "two empty lines";
        if (record.line.empty())
            continue;
        std::smatch match;
        while (record.kind < none && !std::regex_match(record.line, match, patterns[record.kind]))
            record.kind = Kind(record.kind + 1);
        if (record.kind == none)
            return "a line that is no record: " + record.line;
        if ((record.kind == loaded) != std::exchange(blank, false))
            return "an empty line before each aircraft-loaded record and no other: " + record.line;
        if (record.kind <= user) {
            record.id = std::stoll(match[1]), record.name = match[2];
            record.data = std::stoll(match[3]);
            if (record.id != int32_t(record.id) || record.data != int32_t(record.data))
                return "a number beyond 32 bits: " + record.line;
        }
        records.push_back(std::move(record));
    }
    return {};
}

// ---- Input -----------------------------------------------------------------------------

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
    // Bytes 0x01-0xFF without CR and LF: the module writes aircraft texts as
    // they come, and a line break would split a record.
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
    uint32_t event_id() {
        static constexpr uint32_t edges[] = {0xFFFF,  0x10000, 0x100E1, 0x100E2, 0x100E6, 0x100E7,
                                             0x102F2, 0x102F3, 0x102F4, 0x102F5, 0x10FFF, 0x11000};
        const uint8_t kind = byte() % 4;
        return kind == 0   ? number(2) // below the key range
               : kind == 1 ? 0x10000 + number(2) % 0x1000
               : kind == 2 ? edges[byte() % 12]
                           : number(4);
    }
};

// ---- Harness state ---------------------------------------------------------------------

const char* const log_name = "Key_Events_Sent.log";
std::string module_file = KEYWATCH_MODULE_FILE;
fs::path origin_directory, scratch_directory; // where the run started; where the log goes
std::unique_ptr<sim::Host> host;
// libFuzzer reads the module's coverage counters from its mapping after each
// input: one reference keeps the module mapped until the next input begins.
void* kept_mapped = nullptr;
bool trace = false;
size_t step_number = 0;
// A stream the module did not open: the handler's periodic flush reaches
// every stream of the process, this one too.
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

// What one step must add to the log.
struct Expected {
    std::vector<std::vector<Kind>> kinds = {{}}; // any one of these
    bool truncated = false, flushed = false;
    uint32_t id = 0, data = 0; // the event sent
};

[[noreturn]] void violation(const std::string& what) {
    std::fprintf(stderr, "\nkeywatch fuzz: INVARIANT VIOLATED at step %zu: %s\n", step_number,
                 what.c_str());
    std::abort();
}

void load_module() {
    static MODULE_LINKAGE* first = nullptr;
    host.reset();
    host = std::make_unique<sim::Host>(module_file);
    void* self = dlopen(module_file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    auto* linkage = static_cast<MODULE_LINKAGE*>(dlsym(self, "Linkage"));
    dlclose(self); // the host keeps its own reference
    if (first != nullptr && linkage != first)
        violation("the module came back at another address: libFuzzer's counters are lost");
    first = linkage;
}

// ---- Checks ----------------------------------------------------------------------------

// Axis events count once the first pre-update notification that brought a
// parameter string brought a non-empty one.
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
    if (host->panel().counter_text() != want)
        violation("the counter reads \"" + host->panel().counter_text() + "\", not " + want);
    if (host->panel().icon_on() != s.logging)
        violation("the icon does not show whether logging is on");
}

void check_log(State& s, const Expected& expected) {
    const uintmax_t on_disk = fs::exists(log_name) ? fs::file_size(log_name) : 0;
    if (expected.flushed && probe_bytes != fs::file_size("probe"))
        violation("the fifth handler call did not flush a stream the module did not open");
    std::fflush(nullptr); // whatever the module has buffered, written now
    std::ifstream in(log_name, std::ios::binary);
    const std::string log(std::istreambuf_iterator<char>(in), {});
    if (expected.flushed && on_disk != log.size())
        violation("records still buffered after the fifth handler call");
    if (expected.truncated)
        s.log.clear();
    if (log.compare(0, s.log.size(), s.log) != 0)
        violation("the log lost or changed what it held");
    std::vector<Record> records;
    if (const std::string why = parse(log.substr(s.log.size()), records); !why.empty())
        violation("the log is not well formed: " + why);
    std::vector<Kind> kinds;
    for (const Record& record : records) {
        kinds.push_back(record.kind);
        if (record.kind == loaded)
            s.last_time = -1; // the module was started: its clock starts again
        const double time = std::stod(record.line.substr(record.line.find_first_of("0123456789")));
        if (time < std::exchange(s.last_time, time))
            violation("time went back: " + record.line);
        if (record.kind == gauge && !record.line.ends_with("= " + host->module_file()))
            violation("not the module's path: " + record.line);
        if (record.kind > user)
            continue;
        if (record.id != int32_t(expected.id - 0x10000) || record.data != int32_t(expected.data) ||
            (record.kind == user) != (record.name == "User_Defined_Event"))
            violation("not the event just sent: " + record.line);
        if (s.names.emplace(record.id, record.name).first->second != record.name)
            violation("one id under two names: " + record.line);
    }
    if (std::ranges::find(expected.kinds, kinds) == expected.kinds.end())
        violation("the step wrote other records than it should, ending: " +
                  (records.empty() ? "(none)" : records.back().line));
    s.log = log;
}

// ---- Steps -----------------------------------------------------------------------------

enum Op { start, stop, draw, load, send, burst, toggle, reset, click, hover, place, answer, call };

void step(Input& in, State& s) {
    const Op op = Op(in.byte() % 13);
    if (++step_number; trace)
        std::fprintf(stderr, "step %zu: opcode %d at byte %zu\n", step_number, op, in.pos - 1);
    Expected expected;
    const std::vector<std::vector<Kind>> closing = {{}, {closed}, {stopped, closed}};
    switch (op) {
    case start:
        host->start();
        expected.kinds = {{loaded, gauge}};
        break;
    case stop:
        host->stop();
        expected.kinds = closing;
        break;
    case draw:
        if (!s.gauges.empty())
            frame(s);
        break;
    case load:
        load_module(); // the old one stops first, if started, and writes with its own clock
        s = State{.log = s.log, .last_time = s.last_time, .names = s.names};
        expected.kinds = closing;
        break;
    case send:
    case burst: {
        const uint32_t times = op == burst ? 1 + in.byte() % 16 : 1, id = in.event_id();
        const uint8_t data_kind = in.byte() % 3;
        const uint32_t data = data_kind == 0 ? 0 : data_kind == 1 ? 0xFFFFFFFF : in.number(4);
        std::fputc('.', probe);
        probe_bytes++;
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
    case toggle:
    case reset:
    case click:
    case hover: {
        const int32_t x = op == toggle  ? 5 + in.byte() % 61
                          : op == reset ? 72 + in.byte() % 55
                                        : in.coordinate();
        const int32_t y = op >= click ? in.coordinate() : 20 + in.byte() % 33;
        if (s.gauges.empty())
            break;
        if (op == hover) {
            host->hover(x, y);
            break;
        }
        const bool on_activate = x >= 5 && x < 66 && y >= 20 && y < 53;
        const bool on_reset = x >= 72 && x < 127 && y >= 20 && y < 53;
        if (host->click(x, y) != (on_activate || on_reset))
            violation("a click taken outside the two areas, or missed inside one");
        if (on_activate) {
            s.logging = !s.logging;
            expected.kinds = {{s.logging ? started : stopped}};
        } else if (on_reset) {
            s.logging = true, s.count = 0, expected.truncated = true;
            expected.kinds = {{refreshed, title, started}};
        }
        break;
    }
    case place:
        if (auto parameters = in.parameters(); s.gauges.size() < 6) {
            host->place(parameters);
            s.gauges.push_back(std::move(parameters));
        }
        break;
    case answer: {
        const auto field = sim::AircraftField(in.byte() % 3);
        const uint8_t kind = in.byte() % 4; // none, null, short or long text (about 260 bytes)
        const size_t length = kind < 2 ? 0 : kind == 2 ? in.byte() % 64 : 250 + in.byte() % 51;
        if (kind == 1)
            host->answer_null_pointer(field);
        else
            host->set_answer(field, kind == 0 ? std::nullopt : std::optional(in.text(length)));
        break;
    }
    case call: { // any service code, with or without a gauge, straight to the callback
        const uint8_t code = in.byte();
        const int32_t service = code >= 0xF0 ? int32_t(in.number(4)) : code % 16;
        const bool no_gauge = in.byte() % 8 == 0;
        const std::optional<std::string> parameters = in.parameters();
        void* self = dlopen(module_file.c_str(), RTLD_NOW | RTLD_NOLOAD);
        GAUGEHDR header = *static_cast<MODULE_LINKAGE*>(dlsym(self, "Linkage"))->gauges[0];
        dlclose(self);
        header.parameters = parameters ? parameters->c_str() : nullptr;
        header.gauge_callback(no_gauge ? nullptr : &header, service, uintptr_t(in.number(4)));
        if (service == 6 && !no_gauge)
            pre_update(s, parameters);
        break;
    }
    }
    check_log(s, expected);
    if (op == load)
        s.last_time = -1; // the fresh module's clock has not started
}

} // namespace

// ---- libFuzzer entry points ------------------------------------------------------------

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The grammar must refuse broken logs, or the checks pass over them; the
    // seed inputs show that it takes the module's own.
    for (const char* bad :
         {"\n Time= 1.000000 Log File Closed", "\r\n Time= 1.000000 Log File Closed\r\n",
          "\r\n Time= 1.0 Log File Closed", "\r\n Time= 1.000000 Gauge Loaded= \rx",
          "\r\n Time= 1.000000 id= 1; event_in= X evdata= 0",
          "\r\n Time=1.000000; id=4294967295; event_in=X; evdata=-0",
          "\r\n Time=1.000000; Aircraft Loaded Title=; Type=; Model=",
          "\r\n\r\n Time= 1.000000 Log File Closed"}) {
        std::vector<Record> records;
        if (parse(bad, records).empty())
            violation(std::string("the log grammar takes a broken log: ") + bad);
    }
    origin_directory = fs::current_path();
    if (const char* other = std::getenv("KEYWATCH_FUZZ_MODULE")) // say, a deliberately broken one
        module_file = fs::absolute(other).string();
    trace = std::getenv("KEYWATCH_FUZZ_TRACE") != nullptr;
    std::string scratch = (fs::temp_directory_path() / "keywatch-fuzz-XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr)
        violation("no scratch directory");
    scratch_directory = scratch;
    probe = std::fopen((scratch_directory / "probe").c_str(), "w");
    std::atexit([] {
        fs::current_path(scratch_directory);
        host.reset(); // stops the module and closes its log before the directory goes
        if (kept_mapped != nullptr)
            dlclose(kept_mapped);
        fs::current_path(origin_directory);
        fs::remove_all(scratch_directory);
    });
    // Crash files go where the run was started (first, so that a prefix on
    // the command line wins).
    static std::vector<char*> arguments(*argv, *argv + *argc);
    static std::string prefix = "-artifact_prefix=" + origin_directory.string() + "/";
    arguments.insert(arguments.begin() + 1, prefix.data());
    *argc = int(arguments.size());
    arguments.push_back(nullptr);
    *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fs::current_path(scratch_directory);
    try {
        if (kept_mapped != nullptr)
            dlclose(std::exchange(kept_mapped, nullptr)); // the previous input's module goes
        fs::remove(log_name);
        load_module();
        Input in{data, size};
        State state;
        for (step_number = 0; in.pos < in.size;)
            step(in, state);
        // Everything the input allocated goes with it (a start and the host's
        // stop close any log the module holds), so that libFuzzer's leak check
        // does not rerun every input; the module file stays mapped.
        kept_mapped = dlopen(module_file.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!host->started())
            host->start();
        host.reset();
    } catch (const std::exception& error) {
        violation(std::string("the host failed: ") + error.what());
    }
    fs::current_path(origin_directory);
    return 0;
}
