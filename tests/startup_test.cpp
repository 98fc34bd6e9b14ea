// The module as a DLL component beside the panel system: DLLStart and
// DLLStop with and without a service table, the two owners' starts and stops
// in every order, and the handler's own aircraft check. The clock is moved
// by hand, through clock_start, so that "a second later" needs no wait.
// The scenarios startup*.txt and gauge-then-component.txt show the same
// through the built module file on both targets.

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "module_state.h"

namespace {

constexpr uint32_t KEY_GEAR_TOGGLE = 0x10022;
const std::string gear_toggle = " Time=T; id=34; event_in=KEY_GEAR_TOGGLE; evdata=0";

// A simulator's service table whose answers the test sets and which counts
// the questions and keeps the registered handlers, as the simulator calls
// them: every one, once per event.
struct Simulator {
    static inline std::vector<KeyEventHandler> handlers;
    static inline std::optional<std::string> answers[3]; // title, type, model; none: unanswered
    static inline int questions[3];
    static inline double title_takes = 0; // seconds the clock moves on while the title is asked

    static void reset() {
        handlers.clear();
        for (int i = 0; i < 3; ++i) {
            answers[i].reset();
            questions[i] = 0;
        }
        title_takes = 0;
    }
    static void fly(const char* title, const char* type, const char* model) {
        answers[0] = title;
        answers[1] = type;
        answers[2] = model;
    }
    static void send(uint32_t id) {
        for (KeyEventHandler handler : std::vector(handlers))
            handler(id, 0, nullptr);
    }
    static PANELS table() {
        PANELS panels{};
        panels.execute_calculator_code = [](const char* expression, double*, int32_t*,
                                            const char** text) -> int32_t {
            static const char* const expressions[] = {"(A:TITLE, string)", "(A:ATC TYPE, string)",
                                                      "(A:ATC MODEL, string)"};
            for (int i = 0; i < 3; ++i)
                if (std::strcmp(expression, expressions[i]) == 0) {
                    ++questions[i];
                    if (i == 0)
                        clock_start -= (int64_t)(title_takes * clock_frequency);
                    if (answers[i])
                        *text = answers[i]->c_str();
                }
            return 0;
        };
        panels.register_key_event_handler = [](KeyEventHandler handler, void*) {
            handlers.push_back(handler);
        };
        panels.unregister_key_event_handler = [](KeyEventHandler handler, void*) {
            std::erase(handlers, handler);
        };
        return panels;
    }
};

class Startup : public ModuleStateTest {
  protected:
    void SetUp() override {
        ModuleStateTest::SetUp();
        Simulator::reset();
    }
    // The clock moved on by `seconds` at once.
    static void later(double seconds) {
        clock_start -= (int64_t)(seconds * clock_frequency);
    }
    static Lines flushed_log() {
        flush_log();
        return log_lines();
    }
    static std::string aircraft_loaded(const std::string& title = "", const std::string& type = "",
                                       const std::string& model = "") {
        return " Time=T; Aircraft Loaded Title=" + title + "; Type=" + type + "; Model=" + model;
    }
    static std::string gauge_loaded() {
        return " Time= T Gauge Loaded= " + std::string(module_path);
    }

    PANELS table_ = Simulator::table();
};

// With no table in Panels, DLLStart uses no service and DLLStop has nothing
// to stop. With one, DLLStart copies it into ImportTable unless a table is
// there already, and starts the module; a panel's start after it keeps the
// clock and registers nothing again.
TEST_F(Startup, DLLStartNeedsATableAndTakesImportTablesOwnFirst) {
    ImportTable.panels.table = &table_; // even so: Panels is what the loader gave
    DLLStart();
    DLLStop();
    EXPECT_EQ(Simulator::handlers.size(), 0u);
    EXPECT_EQ(Simulator::questions[0], 0);
    EXPECT_EQ(log_file, nullptr);
    EXPECT_FALSE(fs::exists(log_name));

    ImportTable.panels.table = nullptr;
    Panels = &table_;
    DLLStart();
    const PANELS* taken = ImportTable.panels.table; // a copy: the record is packed
    EXPECT_EQ(taken, &table_);
    EXPECT_EQ(Simulator::handlers.size(), 1u);
    later(5);
    module_init();
    EXPECT_EQ(Simulator::handlers.size(), 1u);
    EXPECT_EQ(flushed_log(), (Lines{"", "", aircraft_loaded(), gauge_loaded(), "",
                                    aircraft_loaded(), gauge_loaded()}));
    const std::vector<double> times = mask_times(read_log()).times;
    ASSERT_EQ(times.size(), 4u);
    EXPECT_LT(times[1], 5);
    EXPECT_GE(times[2], 5);

    reset_module_state();
    Simulator::reset();
    PANELS other = Simulator::table();
    other.register_key_event_handler = nullptr;
    ImportTable.panels.table = &other;
    Panels = &table_;
    DLLStart();
    taken = ImportTable.panels.table;
    EXPECT_EQ(taken, &other);
    EXPECT_EQ(Simulator::handlers.size(), 0u) << "registered through Panels' table";
}

// Every order of the two owners' starts and stops, six steps long, each
// owner starting and stopping in turn as its host does. After each step a
// key event must reach the handler exactly once while either owner holds
// the module and not at all while neither does, and the log must hold what
// the rules say: the first start's and each panel start's load lines, the
// last stop's closing lines, nothing else.
TEST_F(Startup, OneRecordPerEventWhateverTheOrderOfStartsAndStops) {
    for (unsigned order = 0; order < 64; ++order) {
        reset_module_state();
        fs::remove(log_name);
        Panels = &table_;
        ImportTable.panels.table = &table_; // the panel system's, from the module's load on
        Simulator::reset();
        bool component = false, panel = false;
        Lines expected = {""};
        std::string steps;
        for (int step = 0; step < 6; ++step) {
            const bool component_step = (order >> step & 1) != 0;
            bool& mine = component_step ? component : panel;
            const bool other = component_step ? panel : component;
            steps +=
                std::string(component_step ? " component " : " panel ") + (mine ? "stop" : "start");
            if (!mine) {
                component_step ? DLLStart() : module_init();
                if (!component_step || !other)
                    expected.insert(expected.end(), {"", aircraft_loaded(), gauge_loaded()});
            } else {
                component_step ? DLLStop() : module_deinit();
                if (!other)
                    expected.insert(expected.end(),
                                    {" Time= T Logging Stopped", " Time= T Log File Closed"});
            }
            mine = !mine;
            Simulator::send(KEY_GEAR_TOGGLE);
            if (component || panel)
                expected.push_back(gear_toggle);
            ASSERT_EQ(Simulator::handlers.size(), component || panel ? 1u : 0u) << steps;
        }
        ASSERT_EQ(flushed_log(), expected) << steps;
    }
}

// While the DLL component holds the module, an event a second or more after
// the last question asks for the title; a new one is named, with all three
// texts, before the event's record. Nothing is asked in between, nor while
// logging is stopped (no record to write), nor of an unanswered title, nor
// once the component has stopped.
TEST_F(Startup, TheHandlerNamesANewAircraftBeforeTheFirstRecordASecondLater) {
    Panels = &table_;
    DLLStart(); // no flight yet
    EXPECT_EQ(Simulator::questions[0], 1);
    Simulator::fly("Beech Baron 58 Paint1", "Beechcraft", "BE58");
    Simulator::send(KEY_GEAR_TOGGLE);
    later(0.9);
    Simulator::send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(Simulator::questions[0], 1);
    later(0.1);
    Simulator::send(KEY_GEAR_TOGGLE); // asks, and names the Baron
    Simulator::send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(Simulator::questions[0], 3);
    EXPECT_EQ(Simulator::questions[2], 2);
    later(1);
    Simulator::send(KEY_GEAR_TOGGLE); // asks: the same title
    EXPECT_EQ(Simulator::questions[0], 4);
    EXPECT_EQ(Simulator::questions[2], 2);
    // A repaint: a title of the same length. The simulator takes its time
    // answering, and the record comes after the aircraft line all the same.
    Simulator::fly("Beech Baron 58 Paint2", "Beechcraft", "BE58");
    Simulator::title_takes = 0.25;
    later(1);
    Simulator::send(KEY_GEAR_TOGGLE);
    Simulator::title_takes = 0;
    EXPECT_EQ(Simulator::questions[0], 6);

    const std::string paint1 = aircraft_loaded("Beech Baron 58 Paint1", "Beechcraft", "BE58");
    const std::string paint2 = aircraft_loaded("Beech Baron 58 Paint2", "Beechcraft", "BE58");
    // clang-format off
    Lines expected = {"", "", aircraft_loaded(), gauge_loaded(), gear_toggle, gear_toggle,
                      "", paint1, gear_toggle, gear_toggle, gear_toggle,
                      "", paint2, gear_toggle};
    // clang-format on
    EXPECT_EQ(flushed_log(), expected);
    const std::vector<double> times = mask_times(read_log()).times;
    ASSERT_EQ(times.size(), 10u);
    EXPECT_GE(times[9], times[8]) << "the record's time is before the aircraft line's";

    toggle_logging(nullptr, 0); // off
    Simulator::fly("Mooney Bravo", "Mooney", "M20T");
    later(2);
    Simulator::send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(Simulator::questions[0], 6);
    toggle_logging(nullptr, 0); // on
    Simulator::send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(Simulator::questions[0], 8);
    Simulator::answers[0].reset();
    later(1);
    Simulator::send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(Simulator::questions[0], 9);
    expected.insert(expected.end(),
                    {" Time= T Logging Stopped", " Time= T Logging Started", "",
                     aircraft_loaded("Mooney Bravo", "Mooney", "M20T"), gear_toggle, gear_toggle});
    EXPECT_EQ(flushed_log(), expected);

    DLLStop();
    module_init(); // the panel alone, as with no DLL component: its question
    Simulator::fly("Saab 340B", "Saab", "SF34");
    later(1);
    Simulator::send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(Simulator::questions[0], 10);
}

} // namespace
