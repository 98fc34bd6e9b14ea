// Module start and stop as the simulator drives them: the built module file
// loaded by the stand-in simulator's host, reached only through Linkage and
// ImportTable. Each test runs in a fresh working directory of its own, since
// the log path is relative.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/host.h"

#ifndef KEYWATCH_MODULE_FILE
#error "KEYWATCH_MODULE_FILE must name the module file under test"
#endif
#ifndef KEYWATCH_NOT_A_GAUGE_MODULE_FILE
#error "KEYWATCH_NOT_A_GAUGE_MODULE_FILE must name a loadable file without Linkage"
#endif

namespace fs = std::filesystem;

namespace {

using sim::AircraftField;
using sim::Host;

constexpr uint32_t KEY_GEAR_TOGGLE = 0x10022;
constexpr uint32_t THIRD_PARTY_EVENT = 0x11000;
constexpr int32_t activate_x = 30, activate_y = 30; // inside the Activate click area

const char* const log_name = "Key_Events_Sent.log";

std::string read_log() {
    std::ifstream in(log_name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The log with every time value replaced by "T"; nothing else is touched.
std::string masked_log() {
    static const std::regex time(R"((Time= ?)[0-9]+\.[0-9]{6})");
    return std::regex_replace(read_log(), time, "$1T");
}

// The module's own path as the module reports it: absolute, with the
// platform's separators.
std::string module_path() {
    return fs::path(KEYWATCH_MODULE_FILE).make_preferred().string();
}

// The load lines one start writes, with their leading breaks.
std::string load_lines(const std::string& title, const std::string& type,
                       const std::string& model) {
    return "\r\n\r\n Time=T; Aircraft Loaded Title=" + title + "; Type=" + type +
           "; Model=" + model + "\r\n Time= T Gauge Loaded= " + module_path();
}

const std::string logging_stopped = "\r\n Time= T Logging Stopped";
const std::string log_file_closed = "\r\n Time= T Log File Closed";

// The title, type and model of every aircraft-loaded record, in order.
std::vector<std::vector<std::string>> aircraft_records() {
    static const std::regex record(
        "Aircraft Loaded Title=([^;\r]*); Type=([^;\r]*); Model=([^\r]*)");
    std::vector<std::vector<std::string>> found;
    const std::string log = read_log();
    for (std::sregex_iterator it(log.begin(), log.end(), record), end; it != end; ++it)
        found.push_back({(*it)[1], (*it)[2], (*it)[3]});
    return found;
}

class Lifecycle : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_directory_ = fs::current_path();
        std::random_device seed;
        std::mt19937_64 random((uint64_t(seed()) << 32) ^ seed());
        do
            directory_ = fs::temp_directory_path() /
                         ("keywatch-lifecycle-" + std::to_string(random() % 1000000000u));
        while (!fs::create_directory(directory_));
        fs::current_path(directory_);
    }
    void TearDown() override {
        fs::current_path(previous_directory_);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    fs::path previous_directory_;
    fs::path directory_;
};

// ---- Start and stop -----------------------------------------------------------------

TEST_F(Lifecycle, StartStopStartLeavesTwoBlocksOfLoadLines) {
    Host host(KEYWATCH_MODULE_FILE);
    host.set_answer(AircraftField::title, "Cessna Skyhawk 172SP");
    host.set_answer(AircraftField::type, "C172");
    host.set_answer(AircraftField::model, "172SP");
    host.start();
    host.stop();
    host.start();
    host.stop();
    const std::string block =
        load_lines("Cessna Skyhawk 172SP", "C172", "172SP") + logging_stopped + log_file_closed;
    // CR LF breaks, an empty line before each aircraft record, no break at the end.
    EXPECT_EQ(masked_log(), block + block);
}

TEST_F(Lifecycle, StartWritesTheLoadLinesEvenWithLoggingStopped) {
    Host host(KEYWATCH_MODULE_FILE);
    host.place(std::nullopt);
    host.start();
    ASSERT_TRUE(host.click(activate_x, activate_y)); // logging off
    host.send_event(KEY_GEAR_TOGGLE, 0);
    host.stop();
    host.start();
    host.send_event(KEY_GEAR_TOGGLE, 0);
    host.stop();
    // With logging off, stop writes only the closing line and events write nothing.
    EXPECT_EQ(masked_log(), load_lines("", "", "") + logging_stopped + log_file_closed +
                                load_lines("", "", "") + log_file_closed);
}

TEST_F(Lifecycle, StopWithNoLogOpenWritesNothingAndStillRemovesTheHandler) {
    fs::create_directory(log_name); // the log cannot be opened
    {
        Host host(KEYWATCH_MODULE_FILE);
        host.start();
        EXPECT_EQ(host.handler_count(), 1u);
        host.send_event(KEY_GEAR_TOGGLE, 0);
        host.stop();
        EXPECT_EQ(host.handler_count(), 0u);
        EXPECT_TRUE(fs::is_empty(log_name));

        // Once the log could be opened, a handler still registered would
        // open it and write.
        fs::remove(log_name);
        host.send_event(KEY_GEAR_TOGGLE, 0);
    }
    EXPECT_TRUE(fs::is_empty(directory_));
}

TEST_F(Lifecycle, TheHandlerLivesFromStartToStop) {
    Host host(KEYWATCH_MODULE_FILE);
    EXPECT_EQ(host.handler_count(), 0u);
    host.start();
    EXPECT_EQ(host.handler_count(), 1u);
    host.send_event(KEY_GEAR_TOGGLE, 7);
    host.send_event(THIRD_PARTY_EVENT + 5, 0xFFFFFFFF);
    host.stop();
    EXPECT_EQ(host.handler_count(), 0u);

    const std::string at_stop = masked_log();
    EXPECT_EQ(at_stop, load_lines("", "", "") +
                           "\r\n Time=T; id=34; event_in=KEY_GEAR_TOGGLE; evdata=7"
                           "\r\n Time= T id= 4101 event_in= User_Defined_Event evdata= -1" +
                           logging_stopped + log_file_closed);
    for (int i = 0; i < 10; ++i)
        host.send_event(KEY_GEAR_TOGGLE, 0);
    EXPECT_EQ(masked_log(), at_stop);
}

TEST_F(Lifecycle, AStartRoutineRunBeforeTheServicesAreBoundDoesNotCrash) {
    Host host(KEYWATCH_MODULE_FILE);
    host.set_answer(AircraftField::title, "Piper Cub");
    host.start_without_services();
    // Neither registered nor asked: the module had no service table yet.
    EXPECT_EQ(host.handler_count(), 0u);
    host.stop();
    EXPECT_EQ(masked_log(), load_lines("", "", "") + logging_stopped + log_file_closed);
}

// ---- Aircraft texts -----------------------------------------------------------------

TEST_F(Lifecycle, AnUnansweredQueryKeepsTheEarlierText) {
    Host host(KEYWATCH_MODULE_FILE);
    host.start(); // nothing answered yet
    host.stop();
    host.set_answer(AircraftField::title, "Piper J-3 Cub");
    host.set_answer(AircraftField::type, "J3");
    host.start();
    host.stop();
    host.set_answer(AircraftField::title, std::nullopt);
    host.set_answer(AircraftField::type, "L4");
    host.set_answer(AircraftField::model, "Grasshopper");
    host.start();
    host.stop();
    host.set_answer(AircraftField::type, ""); // an empty answer is an answer
    host.start();
    host.stop();
    const std::vector<std::vector<std::string>> expected = {
        {"", "", ""},
        {"Piper J-3 Cub", "J3", ""},
        {"Piper J-3 Cub", "L4", "Grasshopper"},
        {"Piper J-3 Cub", "", "Grasshopper"},
    };
    EXPECT_EQ(aircraft_records(), expected);
}

TEST_F(Lifecycle, AnswersOf260CharactersOrMoreLeaveTheFieldEmpty) {
    const std::string longest(259, 'a');
    Host host(KEYWATCH_MODULE_FILE);
    host.set_answer(AircraftField::title, longest);
    host.set_answer(AircraftField::model, "Before");
    host.start();
    host.stop();
    host.set_answer(AircraftField::title, std::string(260, 'b'));
    host.set_answer(AircraftField::model, std::string(300, 'c'));
    host.start();
    host.stop();
    const std::vector<std::vector<std::string>> expected = {
        {longest, "", "Before"},
        {"", "", ""},
    };
    EXPECT_EQ(aircraft_records(), expected);
}

TEST_F(Lifecycle, ANullAnswerPointerIsTakenForNoAnswer) {
    Host host(KEYWATCH_MODULE_FILE);
    host.set_answer(AircraftField::title, "Before");
    host.set_answer(AircraftField::type, "Type");
    host.start();
    host.stop();
    host.answer_null_pointer(AircraftField::title);
    host.answer_null_pointer(AircraftField::model);
    host.start();
    host.stop();
    const std::vector<std::vector<std::string>> expected = {
        {"Before", "Type", ""},
        {"Before", "Type", ""},
    };
    EXPECT_EQ(aircraft_records(), expected);
}

// ---- Loading ----------------------------------------------------------------------------

TEST_F(Lifecycle, EachLoadStartsFromFreshModuleState) {
    {
        Host host(KEYWATCH_MODULE_FILE);
        host.set_answer(AircraftField::title, "First");
        host.place(std::nullopt);
        host.start();
        host.send_event(KEY_GEAR_TOGGLE, 0);
        host.frame();
        EXPECT_EQ(host.panel().counter_text(), "Events = 00001");
        ASSERT_TRUE(host.click(activate_x, activate_y)); // logging off
    } // not stopped: the host stops the module before unloading it
    Host host(KEYWATCH_MODULE_FILE);
    host.place(std::nullopt);
    host.start();
    host.frame();
    EXPECT_EQ(host.panel().counter_text(), "Events = 00000");
    EXPECT_TRUE(host.panel().icon_on());
    host.stop();
    const std::vector<std::vector<std::string>> expected = {{"First", "", ""}, {"", "", ""}};
    EXPECT_EQ(aircraft_records(), expected);
    EXPECT_EQ(masked_log(), load_lines("First", "", "") +
                                "\r\n Time=T; id=34; event_in=KEY_GEAR_TOGGLE; evdata=0" +
                                logging_stopped + log_file_closed + load_lines("", "", "") +
                                logging_stopped + log_file_closed);
}

TEST_F(Lifecycle, FilesThatAreNotGaugeModulesAreRefused) {
    EXPECT_THROW(Host("no-such-module-file"), sim::HostError);
    try {
        Host host(KEYWATCH_NOT_A_GAUGE_MODULE_FILE);
        ADD_FAILURE() << "a file without Linkage was loaded";
    } catch (const sim::HostError& error) {
        EXPECT_NE(std::string(error.what()).find("Linkage"), std::string::npos) << error.what();
    }
    // A refused load leaves the way free for the next one.
    Host host(KEYWATCH_MODULE_FILE);
    EXPECT_THROW(Host second(KEYWATCH_MODULE_FILE), sim::HostError);
}

} // namespace
