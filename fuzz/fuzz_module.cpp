// libFuzzer harness: random sequences of the module's entries, played through the stand-in
// simulator against the built module (or KEYWATCH_FUZZ_MODULE). After every step the log must
// fit its grammar and a few counters must agree with the log and the face. See docs/fuzzing.md.

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "log/key_events.h"
#include "logformat/log_format.h"
#include "sim/host.h"
#include "sim/keywatch_face.h"
#include "tests/kit/log_mask.h"
#include "tests/kit/temporary_directory.h"
#include "tests/kit/user_folder.h"

namespace fs = std::filesystem;

namespace {

// The nine records, read by the log format's own parser, and the empty line
// that stands before each aircraft-loaded record and nowhere else. In the
// order of logformat::Kind, blank last.
enum class Kind { event, user, loaded, gauge, stopped, closed, refreshed, title, started, blank };
static_assert(size_t(Kind::blank) == logformat::kind_count);

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

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
        if (kind == 0)
            return std::nullopt;
        if (kind == 1)
            return "";
        return text(1 + byte() % 16);
    }
    int32_t coordinate() {
        const uint8_t b = byte();
        return b < 0xF0 ? b - 32 : int16_t(number(2));
    }
    uint32_t event_id() { // below the key range, a key, a class edge, or any 32 bits
        // Each edge of each class, and the number on either side of it.
        static constexpr uint32_t edges[] = {
            KEY_EVENT_BASE - 1,           KEY_EVENT_BASE,           AXIS_EVENT_RUNS[0].first - 1,
            AXIS_EVENT_RUNS[0].first,     AXIS_EVENT_RUNS[0].last,  AXIS_EVENT_RUNS[0].last + 1,
            AXIS_EVENT_RUNS[1].first - 1, AXIS_EVENT_RUNS[1].first, AXIS_EVENT_RUNS[1].last,
            AXIS_EVENT_RUNS[1].last + 1,  USER_DEFINED_START - 1,   USER_DEFINED_START};
        switch (byte() % 4) {
        case 0:
            return number(2);
        case 1:
            return KEY_EVENT_BASE + number(2) % KEY_EVENT_SPAN;
        case 2:
            return edges[byte() % std::size(edges)];
        default:
            return number(4);
        }
    }
};

const char* const log_name = LOG_FILE_NAME;
std::string module_file = KEYWATCH_MODULE_FILE;
std::string module_file_name;              // what the module path in the log must end with
fs::path origin_directory;                 // where the run started: crash files go there
std::optional<TemporaryDirectory> scratch; // where the log goes
std::optional<UserFolder> user_folder;     // the log's other place: never the real one
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
    int64_t last_time = -1;                         // latest time in this load block, in µs
    std::map<long long, std::string> names;         // written event id -> its name
    std::vector<std::optional<std::string>> gauges; // parameter strings of placed gauges
    bool logging = true;
    bool parameters_seen = false;
    bool axis = false;
    uint32_t count = 0; // counted handler calls since load or the last Reset
    uint64_t calls = 0; // handler calls since load: every fifth flushes all streams
};

struct Expected {                                // what one step must add to the log
    std::vector<std::vector<Kind>> kinds = {{}}; // one of these, record by record
    bool truncated = false;
    bool flushed = false;
    uint32_t id = 0; // the event sent
    uint32_t data = 0;
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
    if (!s.parameters_seen && parameters) {
        s.parameters_seen = true;
        s.axis = !parameters->empty();
    }
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
// line break. Every line is a record as its format writes it: parsed, and
// written back the same, so that a number with a leading zero, say, is none.
void check_log(State& s, const Expected& expected) {
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
    const MaskedLog masked = mask_log(text, module_file_name);
    if (!masked.faults.empty())
        violation("the log mask refused a line: " + masked.faults.front());
    std::vector<Kind> kinds;
    for (size_t pos = 2, end = 0; end < text.size(); pos = end + 2) {
        end = std::min(text.find("\r\n", pos), text.size());
        const std::string line = text.substr(pos, end - pos);
        if (line.empty()) { // the module was started: its clock starts again
            kinds.push_back(Kind::blank);
            s.last_time = -1;
            continue;
        }
        logformat::Record r;
        if (line.find_first_of("\r\n") != std::string::npos || !logformat::parse_record(line, r) ||
            logformat::record_line(r) != line)
            violation("a line that is no record (or a lone CR or LF): " + line);
        const Kind kind = Kind(r.kind);
        kinds.push_back(kind);
        if (kind == Kind::gauge && r.path.empty())
            violation("a gauge-loaded record without the module's path: " + line);
        if (r.micros < std::exchange(s.last_time, r.micros))
            violation("time went back: " + line);
        if (kind != Kind::event && kind != Kind::user)
            continue;
        if (r.id != int32_t(expected.id - KEY_EVENT_BASE) || r.data != int32_t(expected.data) ||
            (kind == Kind::user) != (r.name == "User_Defined_Event"))
            violation("not the event just sent: " + line);
        if (s.names.emplace(r.id, r.name).first->second != r.name)
            violation("one id under two names: " + line);
    }
    if (std::ranges::find(expected.kinds, kinds) == expected.kinds.end())
        violation("the step wrote other records than it should: " + text);
    s.log = log;
}

enum class Op {
    start,
    stop,
    draw,
    load,
    send,
    burst,
    toggle,
    reset,
    click,
    hover,
    place,
    answer,
    call
};

// A click aimed at Activate's area, Reset's, or anywhere, and what it must do.
void click_or_hover(Input& in, State& s, Op op, Expected& expected) {
    int32_t x;
    int32_t y;
    if (op == Op::toggle) {
        x = 5 + in.byte() % 61;
        y = 20 + in.byte() % 33;
    } else if (op == Op::reset) {
        x = 72 + in.byte() % 55;
        y = 20 + in.byte() % 33;
    } else {
        x = in.coordinate();
        y = in.coordinate();
    }
    if (s.gauges.empty())
        return;
    if (op == Op::hover) {
        host->hover(x, y);
        return;
    }
    const bool on_activate = x >= 5 && x < 66 && y >= 20 && y < 53;
    const bool on_reset = x >= 72 && x < 127 && y >= 20 && y < 53;
    if (host->click(x, y) != (on_activate || on_reset))
        violation("a click taken outside the two areas, or missed inside one");
    if (on_activate) {
        s.logging = !s.logging;
        expected.kinds = {{s.logging ? Kind::started : Kind::stopped}};
    } else if (on_reset) {
        s.logging = true;
        s.count = 0;
        expected.truncated = true;
        expected.kinds = {{Kind::refreshed, Kind::title, Kind::started}};
    }
}

// One event, or a burst of the same event, and the records it must write.
void send(Input& in, State& s, Op op, Expected& expected) {
    const uint32_t times = op == Op::burst ? 1 + in.byte() % 16 : 1;
    const uint32_t id = in.event_id();
    uint32_t data = 0;
    switch (in.byte() % 3) {
    case 0:
        break;
    case 1:
        data = 0xFFFFFFFF;
        break;
    default:
        data = in.number(4);
    }
    if (std::fputc('.', probe) != EOF)
        probe_bytes++;
    for (uint32_t n = 0; n < times; ++n)
        host->send_event(id, data);
    const uint32_t calls = times * uint32_t(host->handler_count());
    // The model sorts numbers by the handler's own bounds: the harness looks
    // for states the log, the face and the counters disagree on, while the
    // sweep (tests/sweep_test.cpp) holds the bounds themselves against the
    // name table.
    const bool axis = std::any_of(std::begin(AXIS_EVENT_RUNS), std::end(AXIS_EVENT_RUNS),
                                  [&](EventRun run) { return id >= run.first && id <= run.last; });
    if (id >= USER_DEFINED_START || (id >= KEY_EVENT_BASE && (!axis || s.axis))) {
        s.count += calls;
        if (s.logging)
            expected.kinds = {
                std::vector(calls, id >= USER_DEFINED_START ? Kind::user : Kind::event)};
    }
    s.calls += calls;
    expected.flushed = calls > 0 && s.calls % 5 == 0;
    expected.id = id;
    expected.data = data;
}

// No answer, an empty, a short or a long text (about 260 bytes).
void answer(Input& in) {
    const auto field = sim::AircraftField(in.byte() % 3);
    const uint8_t kind = in.byte() % 4;
    if (kind == 0) {
        host->set_answer(field, std::nullopt);
        return;
    }
    size_t length = 0;
    if (kind == 2)
        length = in.byte() % 64;
    else if (kind == 3)
        length = 250 + in.byte() % 51;
    host->set_answer(field, in.text(length));
}

// Any service code, with or without a gauge, straight to the callback.
void call(Input& in) {
    const uint8_t code = in.byte();
    const int32_t service = code >= 0xF0 ? int32_t(in.number(4)) : code % 16;
    const bool no_gauge = in.byte() % 8 == 0;
    GAUGEHDR header = *linkage->gauges[0]; // no parameter string
    header.gauge_callback(no_gauge ? nullptr : &header, service, uintptr_t(in.number(4)));
}

void step(Input& in, State& s) {
    const Op op = Op(in.byte() % 13);
    Expected expected;
    switch (op) {
    case Op::start:
        host->start();
        expected.kinds = {{Kind::blank, Kind::loaded, Kind::gauge}};
        break;
    case Op::stop:
        host->stop();
        expected.kinds = {{}, {Kind::closed}, {Kind::stopped, Kind::closed}};
        break;
    case Op::draw:
        if (!s.gauges.empty())
            frame(s);
        break;
    case Op::load:
        load_module(); // the old one stops first, if started, and writes with its own clock
        s = State{.log = s.log, .last_time = s.last_time, .names = s.names};
        expected.kinds = {{}, {Kind::closed}, {Kind::stopped, Kind::closed}};
        break;
    case Op::send:
    case Op::burst:
        send(in, s, op, expected);
        break;
    case Op::toggle:
    case Op::reset:
    case Op::click:
    case Op::hover:
        click_or_hover(in, s, op, expected);
        break;
    case Op::place:
        if (auto parameters = in.parameters(); s.gauges.size() < 6) {
            host->place(parameters);
            s.gauges.push_back(std::move(parameters));
        }
        break;
    case Op::answer:
        answer(in);
        break;
    case Op::call:
        call(in);
        break;
    }
    check_log(s, expected);
    if (op == Op::load)
        s.last_time = -1; // the fresh module's clock has not started
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    origin_directory = fs::current_path();
    if (const char* other = std::getenv("KEYWATCH_FUZZ_MODULE")) // say, a deliberately broken one
        module_file = fs::absolute(other).string();
    module_file_name = fs::path(module_file).filename().string();
    scratch.emplace("keywatch-fuzz-");
    user_folder.emplace(scratch->path() / "home");
    probe = std::fopen((scratch->path() / "probe").c_str(), "w");
    std::atexit([] { // each input ends with the host gone and the log closed
        if (kept_mapped != nullptr)
            dlclose(kept_mapped);
        user_folder.reset();
        scratch.reset();
    });
    // Crash files go where the run was started, unless the command line says otherwise.
    static std::vector<char*> arguments(*argv, *argv + *argc + 1); // with the closing null
    static std::string prefix = "-artifact_prefix=" + origin_directory.string() + "/";
    arguments.insert(arguments.begin() + 1, prefix.data());
    *argc += 1;
    *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WorkingDirectory inside(scratch->path());
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
    return 0;
}
