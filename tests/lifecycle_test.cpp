// Module start and stop as the simulator drives them: the built module file
// loaded by the stand-in simulator's host, reached only through Linkage and
// ImportTable.

#include <chrono>
#include <regex>
#include <thread>

#include "sim_fixture.h"

#ifndef KEYWATCH_NOT_A_GAUGE_MODULE_FILE
#error "KEYWATCH_NOT_A_GAUGE_MODULE_FILE must name a loadable file without Linkage"
#endif

namespace {

using sim::AircraftField;
using sim::Host;
using Lifecycle = SimTest;

// ---- Start and stop -----------------------------------------------------------------

TEST_F(Lifecycle, StartStopStartLeavesTwoBlocksOfLoadLines) {
    host_->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    host_->stop();
    host_->start();
    host_->stop();
    // CR LF breaks, an empty line before each aircraft record, no break at the end.
    EXPECT_EQ(log_lines(),
              (Lines{"", "", aircraft_loaded(), gauge_loaded(), logging_stopped, log_file_closed,
                     "", aircraft_loaded(), gauge_loaded(), logging_stopped, log_file_closed}));
    // Each start restarts the clock: the second block begins near zero again.
    std::vector<double> times = mask_times(read_log()).times;
    ASSERT_EQ(times.size(), 8u);
    EXPECT_GE(times[3], 0.3);
    EXPECT_LT(times[4], 0.3);
}

// A start after a stop keeps the counter, the last name and logging off, and
// registers the handler once again; the load lines are written all the same.
TEST_F(Lifecycle, StartAfterStopWithLoggingOff) {
    start_with_gauge();
    press(activate_area); // logging off
    send(KEY_GEAR_TOGGLE, 2);
    send(THIRD_PARTY_EVENT);
    EXPECT_EQ(counter(), "Events = 00003"); // counted all the same
    EXPECT_FALSE(icon_on());
    host_->stop();
    answer("Beech Baron", "Beech", "B58"); // asked again, logging off or not
    host_->start();
    EXPECT_EQ(host_->handler_count(), 1u);
    EXPECT_EQ(hover(counter_band), "User_Defined_Event");
    send(KEY_GEAR_TOGGLE, 2);
    EXPECT_EQ(counter(), "Events = 00005");
    EXPECT_FALSE(icon_on());
    host_->stop();
    // With logging off, stop writes only the closing line and events write nothing.
    EXPECT_EQ(
        log_lines(),
        (Lines{"", "", aircraft_loaded(), gauge_loaded(), logging_stopped, log_file_closed, "",
               aircraft_loaded("Beech Baron", "Beech", "B58"), gauge_loaded(), log_file_closed}));
}

TEST_F(Lifecycle, StopWithNoLogOpenWritesNothingAndStillRemovesTheHandler) {
    fs::create_directory(log_name); // the log cannot be opened
    host_->start();
    EXPECT_EQ(host_->handler_count(), 1u);
    send(KEY_GEAR_TOGGLE);
    host_->stop();
    EXPECT_EQ(host_->handler_count(), 0u);
    EXPECT_TRUE(fs::is_empty(log_name));

    // Once the log could be opened, a handler still registered would open it
    // and write.
    fs::remove(log_name);
    send(KEY_GEAR_TOGGLE);
    host_.reset();
    EXPECT_TRUE(fs::is_empty(directory_));
}

TEST_F(Lifecycle, TheHandlerLivesFromStartToStop) {
    EXPECT_EQ(host_->handler_count(), 0u);
    host_->start();
    EXPECT_EQ(host_->handler_count(), 1u);
    host_->send_event(KEY_GEAR_TOGGLE, 7);
    host_->send_event(THIRD_PARTY_EVENT + 5, 0xFFFFFFFF);
    host_->stop();
    EXPECT_EQ(host_->handler_count(), 0u);

    const Lines at_stop = log_lines();
    EXPECT_EQ(at_stop, (Lines{"", "", aircraft_loaded(), gauge_loaded(),
                              " Time=T; id=34; event_in=KEY_GEAR_TOGGLE; evdata=7",
                              " Time= T id= 4101 event_in= User_Defined_Event evdata= -1",
                              logging_stopped, log_file_closed}));
    send(KEY_GEAR_TOGGLE, 10);
    EXPECT_EQ(log_lines(), at_stop);
}

TEST_F(Lifecycle, AStartRoutineRunBeforeTheServicesAreBoundDoesNotCrash) {
    host_->start_without_services();
    // Neither registered nor asked: the module had no service table yet.
    EXPECT_EQ(host_->handler_count(), 0u);
    host_->stop();
    EXPECT_EQ(log_lines(), (Lines{"", "", aircraft_loaded("", "", ""), gauge_loaded(),
                                  logging_stopped, log_file_closed}));
}

// ---- Aircraft texts -----------------------------------------------------------------

// The title, type and model of every aircraft-loaded record, in order.
std::vector<Lines> aircraft_records() {
    static const std::regex record(
        "Aircraft Loaded Title=([^;\r]*); Type=([^;\r]*); Model=([^\r]*)");
    std::vector<Lines> found;
    const std::string log = read_log();
    for (std::sregex_iterator it(log.begin(), log.end(), record), end; it != end; ++it)
        found.push_back({(*it)[1], (*it)[2], (*it)[3]});
    return found;
}

// Each start asks again. No answer, or an answer pointer left null, keeps the
// earlier text; an empty answer is an answer; an answer of 260 characters or
// more does not fit the buffer with its terminator and leaves the field empty.
TEST_F(Lifecycle, AircraftTextsAreAskedAtEachStart) {
    const auto start_stop = [this] {
        host_->start();
        host_->stop();
    };
    const std::string longest(259, 'a');
    answer(std::nullopt, std::nullopt, std::nullopt);
    start_stop();
    answer("Piper J-3 Cub", "J3", std::nullopt);
    start_stop();
    answer(std::nullopt, "L4", "Grasshopper");
    start_stop();
    answer(std::nullopt, "", std::nullopt);
    start_stop();
    host_->answer_null_pointer(AircraftField::title);
    host_->answer_null_pointer(AircraftField::model);
    start_stop();
    answer(longest, "L4", std::string(260, 'b'));
    start_stop();
    answer(std::string(300, 'c'), std::nullopt, std::nullopt);
    start_stop();
    EXPECT_EQ(aircraft_records(), (std::vector<Lines>{
                                      {"", "", ""},
                                      {"Piper J-3 Cub", "J3", ""},
                                      {"Piper J-3 Cub", "L4", "Grasshopper"},
                                      {"Piper J-3 Cub", "", "Grasshopper"},
                                      {"Piper J-3 Cub", "", "Grasshopper"},
                                      {longest, "L4", ""},
                                      {"", "L4", ""},
                                  }));
}

// ---- Loading ----------------------------------------------------------------------------

TEST_F(Lifecycle, EachLoadStartsFromFreshModuleState) {
    answer("First", std::nullopt, std::nullopt);
    start_with_gauge();
    send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(counter(), "Events = 00001");
    press(activate_area); // logging off
    host_.reset();        // not stopped: the host stops the module before unloading it

    host_ = std::make_unique<Host>(KEYWATCH_MODULE_FILE); // answers nothing
    start_with_gauge();
    EXPECT_EQ(counter(), "Events = 00000");
    EXPECT_TRUE(icon_on());
    host_->stop();
    EXPECT_EQ(log_lines(),
              (Lines{"", "", aircraft_loaded("First", "", ""), gauge_loaded(), gear_toggle,
                     logging_stopped, log_file_closed, "", aircraft_loaded("", "", ""),
                     gauge_loaded(), logging_stopped, log_file_closed}));
}

TEST_F(Lifecycle, FilesThatAreNotGaugeModulesAreRefused) {
    host_.reset();
    EXPECT_THROW(Host("no-such-module-file"), sim::HostError);
    try {
        Host host(KEYWATCH_NOT_A_GAUGE_MODULE_FILE);
        ADD_FAILURE() << "a file without Linkage was loaded";
    } catch (const sim::HostError& error) {
        EXPECT_NE(std::string(error.what()).find("Linkage"), std::string::npos) << error.what();
    }
    // A refused load leaves the way free for the next one.
    host_ = std::make_unique<Host>(KEYWATCH_MODULE_FILE);
    EXPECT_THROW(Host second(KEYWATCH_MODULE_FILE), sim::HostError);
}

} // namespace
