// keywatch-bench: what one call of the key-event handler costs, measured
// against the floor of any logged record: a fresh counter reading turned into
// seconds, the event record formatted with the same format and argument types
// and written to a stream opened the same way as the log (so the CR LF
// expansion is in both), with the same flush of all streams every fifth
// record; everything but the name lookup. Two cases run with the module
// started as the simulator starts a DLL component, so that the handler's
// once-a-second aircraft check is in place. Events that write nothing are
// timed in ns; an event while no place takes the log, against an event
// with logging stopped plus one reading of the module's clock, all it may
// add (the handler tries the open again once a second, not per event).
//
//   keywatch-bench [--ratios] [--rounds=N] [--iterations=N] [Google Benchmark flags]
// With no arguments, or any of its own flags, it prints the ratio table: the
// floor and every case measured in interleaved rounds of a fixed number of
// calls on a steady clock, per case the median over rounds of (case time /
// floor time in the same round) and the median ns per event, and PASS or
// MISS against the case's target; exit status 1 when a target is missed.
// The native build also takes Google Benchmark flags, which run the
// registered benchmarks (after the table, if both); the Windows build has
// the table alone. It works in a fresh temporary directory, removed at the
// end, since the log is "./Key_Events_Sent.log", with a user's folder of
// its own there, where a directory takes the log's place.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifdef KEYWATCH_GOOGLE_BENCHMARK
#include <benchmark/benchmark.h>
#endif
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

// The simulator's records before <windows.h>, whose macros take some of
// their names (DT_CENTER, FW_MEDIUM), as module/module.h has them.
#include "interface/sim_interface.h"

#include "log/event_names.h"
#include "log/key_events.h"
#include "log/log_file.h"
#include "platform/platform.h"
#include "tests/kit/temporary_directory.h"
#include "tests/kit/user_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t EVENT_DATA = 0;

struct Case {
    const char* label;
    const char* bench_name; // Google Benchmark name
    uint32_t id;
    int32_t logging;  // logging_enabled while measured
    bool component;   // the module started through DLLStart, the aircraft check in place
    bool no_log;      // no place takes the log
    double max_ratio; // target: at most this many floors; 0 for none
    double max_ns;    // target: at most this many ns per event; 0 for none
};

// Every logged event within 1.10 floors, wherever its number sits in the
// name table and whoever started the module; an event that writes nothing
// within 20 ns; with no log, see NO_LOG_CASE.
constexpr Case cases[] = {
    {"logged key, table start", "KeyNearTableStart", 0x10002, 1, false, false, 1.10, 0},
    {"logged key, table end", "KeyNearTableEnd", 0x107A4, 1, false, false, 1.10, 0},
    {"key without a row", "KeyWithoutRow", 0x10FFF, 1, false, false, 1.10, 0},
    {"third-party event", "ThirdPartyEvent", 0x11000, 1, false, false, 1.10, 0},
    {"logged key, DLL component", "KeyStartedByTheComponent", 0x10002, 1, true, false, 1.10, 0},
    {"axis event, axis logging off", "FilteredAxisEvent", 0x100E2, 1, false, false, 0, 20},
    {"key, logging stopped", "KeyLoggingStopped", 0x10002, 0, false, false, 0, 20},
    {"key stopped, DLL component", "KeyLoggingStoppedComponent", 0x10002, 0, true, false, 0, 20},
    {"key, no log can be opened", "KeyNoLog", 0x10002, 1, false, true, 0, 0},
};
// The case with no log is held to the one with logging stopped plus a
// reading of the clock, measured in the same rounds.
constexpr size_t STOPPED_CASE = 6, NO_LOG_CASE = 8;
static_assert(cases[STOPPED_CASE].logging == 0 && !cases[STOPPED_CASE].component &&
              cases[NO_LOG_CASE].no_log);

// ---- The simulator, as the DLL component sees it -------------------------------

// The services DLLStart uses: handlers are the benchmark's to call, and the
// aircraft's title, asked by the handler once a second, stays the same.
int32_t answer(const char* expression, double*, int32_t*, const char** text) {
    *text = strcmp(expression, "(A:TITLE, string)") == 0 ? "Beech Baron 58 Paint1" : "";
    return 1;
}
void no_handler_change(KeyEventHandler, void*) {}

PANELS simulator_services() {
    PANELS services{};
    services.execute_calculator_code = answer;
    services.register_key_event_handler = no_handler_change;
    services.unregister_key_event_handler = no_handler_change;
    return services;
}
PANELS services = simulator_services();

// ---- Floor ---------------------------------------------------------------------

const char* const floor_path = "./floor.log";
FILE* floor_file = nullptr;
int64_t floor_start = 0;
double floor_frequency = 1.0;
int floor_counter = 0;

// The text the floor writes: the record of the case it is measured against,
// with its name already known (the first case's until another is set).
struct FloorText {
    const char* format; // RECORD_EVENT or RECORD_USER_DEFINED_EVENT
    int32_t id;         // the event number minus KEY_EVENT_BASE
    const char* name;
};
FloorText floor_text = {RECORD_EVENT, 2, "KEY_SELECT_1"};

FloorText floor_text_for(const Case& c) {
    const int32_t id = (int32_t)(c.id - KEY_EVENT_BASE);
    if (c.id >= USER_DEFINED_START)
        return {RECORD_USER_DEFINED_EVENT, id, "User_Defined_Event"};
    return {RECORD_EVENT, id, lookup_event_name(c.id, "null")};
}

// The case's record, formatted and written as the module does, without the
// lookup.
void floor_record() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    double seconds = (double)(now.QuadPart - floor_start) / floor_frequency;
    fprintf(floor_file, floor_text.format, (long double)seconds, floor_text.id, floor_text.name,
            (int32_t)EVENT_DATA);
    if (++floor_counter == 5) {
        fflush(nullptr);
        floor_counter = 0;
    }
}

// Empties both files between measurements, so that the temporary directory
// stays small; never inside a timed region. Closing a file that was opened
// truncated starts its write-back on some file systems (ext4 among them);
// waiting for it here keeps it out of the next timing. On Linux sync() waits
// after the close; on Windows each file is committed before it.
void truncate_outputs() {
#ifdef _WIN32
    for (FILE* file : {log_file, floor_file})
        if (file != nullptr && fflush(file) == 0)
            _commit(_fileno(file));
#endif
    close_log();
    if (floor_file != nullptr)
        fclose(floor_file);
#ifndef _WIN32
    sync();
#endif
    open_log("w");
    floor_file = open_text_stream(floor_path, "w");
}

// Started or stopped as the DLL component as the case says, before the
// files are emptied: a start and a stop write records of their own.
void prepare_case(const Case& c) {
    Panels = &services;
    if (c.component)
        DLLStart();
    else
        DLLStop();
    logging_enabled = c.logging;
    axis_events_enabled = 0;
}

// Where no place takes the log: a folder whose log is a directory (the
// user's folder's log is one from the start). The open of the emptied
// files fails there, and so starts the second before the handler's next
// try.
const char* const no_log_folder = "no-log";

// The case's working folder, for as long as `folder` holds it.
void enter_case_folder(const Case& c, std::optional<WorkingDirectory>& folder) {
    if (c.no_log)
        folder.emplace(no_log_folder);
}

// One reading of the module's clock, kept where the compiler cannot drop it.
volatile double clock_sink;
void read_clock() {
    clock_sink = elapsed_seconds();
}

// ---- Google Benchmark registrations (native build) --------------------------------

#ifdef KEYWATCH_GOOGLE_BENCHMARK

void bm_floor(benchmark::State& state) {
    for (auto _ : state)
        floor_record();
    truncate_outputs();
}

void bm_case(benchmark::State& state, const Case* c) {
    {
        std::optional<WorkingDirectory> folder;
        enter_case_folder(*c, folder);
        prepare_case(*c);
        truncate_outputs();
        for (auto _ : state)
            on_key_event(c->id, EVENT_DATA, nullptr);
    }
    truncate_outputs();
}

void bm_clock(benchmark::State& state) {
    for (auto _ : state)
        read_clock();
}
#endif

// ---- Ratio table ---------------------------------------------------------------

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename Call> double time_calls(int iterations, Call call) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < iterations; i++)
        call();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

std::string cpu_model() {
#ifdef _WIN32
    char name[128];
    DWORD size = sizeof name;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                     "ProcessorNameString", RRF_RT_REG_SZ, nullptr, name, &size) == ERROR_SUCCESS)
        return name;
#else
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("model name", 0) == 0 && line.find(':') != std::string::npos)
            return line.substr(line.find(':') + 2);
#endif
    return "unknown";
}

bool run_ratio_table(int rounds, int iterations) {
    constexpr size_t case_count = std::size(cases);
    std::vector<double> floor_ns, clock_ns;
    std::vector<std::vector<double>> case_ns(case_count), case_ratio(case_count);

    // Each case is timed next to its own floor timing, both on freshly
    // emptied files, the one first in even rounds and the other in odd ones:
    // neither then pays for the other's file growth or for coming second.
    for (int round = 0; round <= rounds; round++) {
        for (size_t i = 0; i < case_count; i++) {
            const Case& c = cases[i];
            std::optional<WorkingDirectory> folder;
            enter_case_folder(c, folder);
            prepare_case(c);
            truncate_outputs();
            floor_text = floor_text_for(c);
            const auto handler = [&] { on_key_event(c.id, EVENT_DATA, nullptr); };
            double floor_time, t;
            if (round % 2 == 0) {
                floor_time = time_calls(iterations, floor_record);
                t = time_calls(iterations, handler);
            } else {
                t = time_calls(iterations, handler);
                floor_time = time_calls(iterations, floor_record);
            }
            if (round > 0) { // round 0 warms caches, the file system and the branch predictors
                floor_ns.push_back(floor_time / iterations);
                case_ns[i].push_back(t / iterations);
                case_ratio[i].push_back(t / floor_time);
            }
        }
        const double t = time_calls(iterations, read_clock);
        if (round > 0)
            clock_ns.push_back(t / iterations);
    }
    DLLStop();
    truncate_outputs();

    printf("keywatch-bench: on_key_event against the floor (format + write + periodic flush)\n");
    printf("machine: %s, %u logical CPUs\n", cpu_model().c_str(),
           std::thread::hardware_concurrency());
    printf("%d rounds of %d calls each; medians over rounds\n\n", rounds, iterations);
    printf("%-32s %-8s %12s %14s  %-16s %s\n", "case", "event", "ns/event", "x floor", "target",
           "result");
    printf("%-32s %-8s %12.1f %14s\n", "floor", "-", median(floor_ns), "1.00");
    printf("%-32s %-8s %12.1f\n", "clock reading", "-", median(clock_ns));
    bool all_met = true;
    for (size_t i = 0; i < case_count; i++) {
        const Case& c = cases[i];
        const double ns = median(case_ns[i]), ratio = median(case_ratio[i]);
        const double max_ns =
            i == NO_LOG_CASE ? median(case_ns[STOPPED_CASE]) + median(clock_ns) : c.max_ns;
        char target[32] = "-", event[16];
        if (c.max_ratio > 0)
            snprintf(target, sizeof target, "<= %.2fx floor", c.max_ratio);
        else if (max_ns > 0)
            snprintf(target, sizeof target, "<= %.1f ns", max_ns);
        const bool met = c.max_ratio > 0 ? ratio <= c.max_ratio : max_ns <= 0 || ns <= max_ns;
        const char* result = c.max_ratio <= 0 && max_ns <= 0 ? "" : met ? "PASS" : "MISS";
        all_met = all_met && met;
        snprintf(event, sizeof event, "0x%05X", (unsigned)c.id);
        printf("%-32s %-8s %12.1f %14.2f  %-16s %s\n", c.label, event, ns, ratio, target, result);
    }
    fflush(stdout);
    return all_met;
}

bool parse_count(const char* arg, const char* flag, int* value) {
    size_t length = strlen(flag);
    if (strncmp(arg, flag, length) != 0)
        return false;
    *value = atoi(arg + length);
    if (*value < 1) {
        fprintf(stderr, "keywatch-bench: %s needs a positive count\n", flag);
        exit(2);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool ratios = argc == 1;
    int rounds = 15;
    int iterations = 50000;
    // Take out this program's own flags; the rest go to Google Benchmark.
    int kept = 1;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--ratios") == 0)
            ratios = true;
        else if (parse_count(argv[i], "--rounds=", &rounds) ||
                 parse_count(argv[i], "--iterations=", &iterations))
            ratios = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
#ifdef KEYWATCH_GOOGLE_BENCHMARK
    const bool benchmarks = argc > 1;
    benchmark::RegisterBenchmark("Floor", bm_floor);
    benchmark::RegisterBenchmark("ClockReading", bm_clock);
    for (const Case& c : cases)
        benchmark::RegisterBenchmark(c.bench_name, bm_case, &c);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
#else
    if (argc > 1) {
        fprintf(stderr,
                "keywatch-bench: unknown argument %s (this build has --ratios, "
                "--rounds=N and --iterations=N only)\n",
                argv[1]);
        return 2;
    }
#endif

    // The log and the floor's file go to a directory of the run's own.
    std::optional<TemporaryDirectory> directory;
    try {
        directory.emplace("keywatch-bench-");
    } catch (const fs::filesystem_error& error) {
        fprintf(stderr, "keywatch-bench: no temporary directory: %s\n", error.what());
        return 2;
    }
    WorkingDirectory inside(directory->path());
    const UserFolder user(directory->path() / "home");
    std::error_code made;
    fs::create_directories(fs::path(no_log_folder) / LOG_FILE_NAME, made);
    fs::create_directories(user.log(), made);
    if (made) {
        fprintf(stderr, "keywatch-bench: cannot make the unopenable logs: %s\n",
                made.message().c_str());
        return 2;
    }
    start_clock();
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    floor_start = value.QuadPart;
    QueryPerformanceFrequency(&value);
    floor_frequency = (double)value.QuadPart;
    truncate_outputs(); // opens both files

    const bool met = !ratios || run_ratio_table(rounds, iterations);
#ifdef KEYWATCH_GOOGLE_BENCHMARK
    if (benchmarks) {
        if (ratios)
            printf("\n");
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
#endif

    close_log();
    if (floor_file != nullptr)
        fclose(floor_file);
    return met ? 0 : 1;
}
