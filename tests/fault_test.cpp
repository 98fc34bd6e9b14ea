// Faults from outside the module, made through the real file system while the
// stand-in simulator drives the built module file: a log path that cannot be
// opened, a device with no space left, a log deleted or truncated by someone
// else while the module holds it open; and the module's entries called in
// orders a simulator does not normally use: clicks after stop, stop without
// start, events and clicks before start, start again after stop. Each test
// runs in a fresh working directory of its own, since the log path is relative.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "sim/host.h"

#ifndef KEYWATCH_MODULE_FILE
#error "KEYWATCH_MODULE_FILE must name the module file under test"
#endif

namespace fs = std::filesystem;

namespace {

constexpr uint32_t KEY_GEAR_TOGGLE = 0x10022;
constexpr uint32_t KEY_FLAPS_UP = 0x1003B;
constexpr uint32_t THIRD_PARTY_EVENT = 0x11000;

struct Point {
    int32_t x, y;
};
constexpr Point activate_area{30, 30};
constexpr Point reset_area{100, 30};
constexpr Point counter_band{60, 65};

const char* const log_name = "Key_Events_Sent.log";

using Lines = std::vector<std::string>;

std::string read_log() {
    std::ifstream in(log_name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The log's lines (split at CR LF) with each time value replaced by "T".
Lines log_lines() {
    static const std::regex time(R"((Time= ?)[0-9]+\.[0-9]{6})");
    const std::string text = std::regex_replace(read_log(), time, "$1T");
    Lines lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 2;
    }
}

// The time values of the log, in order.
std::vector<double> log_times() {
    static const std::regex time(R"(Time= ?([0-9]+\.[0-9]{6}))");
    const std::string text = read_log();
    std::vector<double> times;
    for (std::sregex_iterator it(text.begin(), text.end(), time), end; it != end; ++it)
        times.push_back(std::stod((*it)[1]));
    return times;
}

const std::string aircraft_loaded =
    " Time=T; Aircraft Loaded Title=Mooney Bravo; Type=Mooney; Model=M20T";
const std::string aircraft_title = " Time= T Aircraft Title= Mooney Bravo Type= Mooney Model= M20T";
const std::string gear_toggle = " Time=T; id=34; event_in=KEY_GEAR_TOGGLE; evdata=0";
const std::string logging_started = " Time= T Logging Started";
const std::string logging_stopped = " Time= T Logging Stopped";
const std::string log_file_closed = " Time= T Log File Closed";

std::string gauge_loaded() {
    return " Time= T Gauge Loaded= " + fs::path(KEYWATCH_MODULE_FILE).make_preferred().string();
}
std::string gauge_refreshed() {
    return " Time= T Gauge Refreshed= " + fs::path(KEYWATCH_MODULE_FILE).make_preferred().string();
}

class FaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_directory_ = fs::current_path();
        std::random_device seed;
        std::mt19937_64 random((uint64_t(seed()) << 32) ^ seed());
        do
            directory_ = fs::temp_directory_path() /
                         ("keywatch-fault-" + std::to_string(random() % 1000000000u));
        while (!fs::create_directory(directory_));
        fs::current_path(directory_);
        host_ = std::make_unique<sim::Host>(KEYWATCH_MODULE_FILE);
        host_->set_answer(sim::AircraftField::title, "Mooney Bravo");
        host_->set_answer(sim::AircraftField::type, "Mooney");
        host_->set_answer(sim::AircraftField::model, "M20T");
    }

    void TearDown() override {
        host_.reset();
        fs::current_path(previous_directory_);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    void press(Point p) {
        ASSERT_TRUE(host_->click(p.x, p.y)) << p.x << "," << p.y;
    }
    void send(uint32_t id, uint32_t count = 1) {
        for (uint32_t i = 0; i < count; ++i)
            host_->send_event(id, 0);
    }
    // The counter as drawn now.
    std::string counter() {
        host_->frame();
        return host_->panel().counter_text();
    }
    bool icon_on() {
        host_->frame();
        return host_->panel().icon_on();
    }

    fs::path previous_directory_;
    fs::path directory_;
    std::unique_ptr<sim::Host> host_;
};

// ---- A log path that cannot be opened ------------------------------------------------

TEST_F(FaultTest, ADirectoryAtTheLogPathDropsRecordsAndEachEventRetriesTheOpen) {
    fs::create_directory(log_name);
    host_->place(std::nullopt);
    host_->start();
    send(KEY_GEAR_TOGGLE, 3);
    send(THIRD_PARTY_EVENT);
    EXPECT_EQ(counter(), "Events = 00004");
    EXPECT_EQ(host_->hover(counter_band.x, counter_band.y), "User_Defined_Event");
    EXPECT_TRUE(fs::is_empty(log_name));

    fs::remove(log_name);
    send(KEY_GEAR_TOGGLE); // the open is tried again, and now succeeds
    EXPECT_EQ(counter(), "Events = 00005");
    host_->stop();
    EXPECT_EQ(log_lines(), (Lines{"", gear_toggle, logging_stopped, log_file_closed}));
}

TEST_F(FaultTest, WithLoggingOffAnUnopenableLogIsNotRetriedUntilActivate) {
    fs::create_directory(log_name);
    host_->place(std::nullopt);
    host_->start();
    press(activate_area); // the open for the stop line fails; the flags follow the click
    EXPECT_FALSE(icon_on());
    fs::remove(log_name);
    send(KEY_GEAR_TOGGLE, 6); // counted, not written; no open while logging is off
    EXPECT_EQ(counter(), "Events = 00006");
    EXPECT_FALSE(fs::exists(log_name));

    press(activate_area); // opens the log for its record
    EXPECT_TRUE(icon_on());
    send(KEY_GEAR_TOGGLE);
    host_->stop();
    EXPECT_EQ(log_lines(),
              (Lines{"", logging_started, gear_toggle, logging_stopped, log_file_closed}));
}

// ---- No space left on the device ------------------------------------------------------

// Linux only: /dev/full is a Linux device that fails every write with
// ENOSPC; Windows has nothing like it to point the log at.
#ifndef _WIN32
TEST_F(FaultTest, WritesFailingForLackOfSpaceLoseRecordsButNothingElse) {
    fs::create_symlink("/dev/full", log_name);
    host_->place(std::nullopt);
    host_->start(); // the open succeeds; every write and flush fails
    send(KEY_GEAR_TOGGLE, 1000);
    send(THIRD_PARTY_EVENT, 3);
    EXPECT_EQ(counter(), "Events = 01003");
    EXPECT_EQ(host_->hover(counter_band.x, counter_band.y), "User_Defined_Event");

    press(activate_area); // its flush of the log fails too
    EXPECT_FALSE(icon_on());
    send(KEY_FLAPS_UP, 4);
    EXPECT_EQ(counter(), "Events = 01007");
    EXPECT_EQ(host_->hover(counter_band.x, counter_band.y), "KEY_FLAPS_UP");

    press(reset_area); // truncating a device is no error
    EXPECT_TRUE(icon_on());
    send(KEY_GEAR_TOGGLE, 2);
    EXPECT_EQ(counter(), "Events = 00002");
    host_->stop();
    EXPECT_EQ(host_->handler_count(), 0u);
    EXPECT_TRUE(fs::is_symlink(log_name));

    // Nothing that failed to reach the device turns up in the next log.
    fs::remove(log_name);
    host_->start();
    host_->stop();
    EXPECT_EQ(log_lines(),
              (Lines{"", "", aircraft_loaded, gauge_loaded(), logging_stopped, log_file_closed}));
}
#endif

// ---- The log changed by someone else while open ----------------------------------------

TEST_F(FaultTest, ALogDeletedWhileOpenIsNotMissedUntilResetMakesAFreshOne) {
    host_->place(std::nullopt);
    host_->start();
    send(KEY_GEAR_TOGGLE, 5); // the fifth call flushes
    ASSERT_EQ(log_lines().size(), 9u);

    std::error_code error;
    const bool removed = fs::remove(log_name, error);
#ifdef _WIN32
    // The runtime opens the log without delete sharing: Windows refuses to
    // delete it while the module holds it, and everything goes on as usual.
    EXPECT_FALSE(removed);
#else
    // Linux unlinks it; the module writes on into the unlinked file.
    EXPECT_TRUE(removed) << error.message();
#endif
    send(KEY_GEAR_TOGGLE, 5);
    EXPECT_EQ(counter(), "Events = 00010");
    EXPECT_EQ(fs::exists(log_name), !removed);

    press(reset_area);
    EXPECT_EQ(counter(), "Events = 00000");
    send(KEY_GEAR_TOGGLE);
    host_->stop();
    EXPECT_EQ(log_lines(), (Lines{"", gauge_refreshed(), aircraft_title, logging_started,
                                  gear_toggle, logging_stopped, log_file_closed}));
}

TEST_F(FaultTest, RecordsAfterATruncationByOthersLandAtTheNewEndWithoutAHole) {
    host_->start();
    send(KEY_GEAR_TOGGLE, 5); // the fifth call flushes: nothing is left buffered
    ASSERT_GT(fs::file_size(log_name), 300u);

    std::ofstream(log_name, std::ios::binary | std::ios::trunc).close();
    ASSERT_EQ(fs::file_size(log_name), 0u);
    send(THIRD_PARTY_EVENT, 4);
    send(KEY_GEAR_TOGGLE); // flushes again

    // Append mode writes at the end of the file as it is now, not at the
    // stream's old position: no run of NUL bytes in front of the new records.
    const std::string log = read_log();
    EXPECT_EQ(log.find('\0'), std::string::npos);
    const std::string user_defined = " Time= T id= 4096 event_in= User_Defined_Event evdata= 0";
    EXPECT_EQ(log_lines(),
              (Lines{"", user_defined, user_defined, user_defined, user_defined, gear_toggle}));
    host_->stop();
    EXPECT_EQ(log_lines(), (Lines{"", user_defined, user_defined, user_defined, user_defined,
                                  gear_toggle, logging_stopped, log_file_closed}));
}

// ---- Entries in unusual orders ----------------------------------------------------------

TEST_F(FaultTest, ResetAfterStopOpensTheOneStreamTheNextStartWritesAndItsStopCloses) {
    host_->place(std::nullopt);
    host_->start();
    send(KEY_GEAR_TOGGLE, 2);
    host_->stop();

    press(reset_area);
    EXPECT_EQ(counter(), "Events = 00000");
    send(KEY_GEAR_TOGGLE); // no handler: nothing is counted
    EXPECT_EQ(counter(), "Events = 00000");
    host_->start();
    send(KEY_GEAR_TOGGLE);
    host_->stop();
    // A second stream beside the one Reset left open would put its records
    // out of order or drop them.
    EXPECT_EQ(log_lines(),
              (Lines{"", gauge_refreshed(), aircraft_title, logging_started, "", aircraft_loaded,
                     gauge_loaded(), gear_toggle, logging_stopped, log_file_closed}));
}

TEST_F(FaultTest, ActivateAfterStopAppendsItsRecordOnTheRunningClock) {
    host_->place(std::nullopt);
    host_->start();
    press(activate_area); // off
    host_->stop();
    const size_t closed = log_lines().size();

    press(activate_area); // on again: the log is opened for its record alone
    EXPECT_TRUE(icon_on());
    send(KEY_GEAR_TOGGLE); // no handler
    host_->start();
    send(KEY_GEAR_TOGGLE);
    host_->stop();

    const Lines lines = log_lines();
    ASSERT_GE(lines.size(), closed);
    EXPECT_EQ(Lines(lines.begin() + closed, lines.end()),
              (Lines{logging_started, "", aircraft_loaded, gauge_loaded(), gear_toggle,
                     logging_stopped, log_file_closed}));
    // Stop leaves the clock alone: the click after it reads no earlier time
    // than the close line before it.
    const std::vector<double> times = log_times();
    ASSERT_EQ(times.size(), lines.size() - 3); // every line but the three empty ones
    EXPECT_GE(times[closed - 2], times[closed - 3]);
}

TEST_F(FaultTest, StopWithoutStartWritesNothingAndAStartAfterItIsOrdinary) {
    host_->stop();
    host_->stop();
    EXPECT_EQ(host_->handler_count(), 0u);
    EXPECT_FALSE(fs::exists(log_name));

    host_->start();
    EXPECT_EQ(host_->handler_count(), 1u);
    host_->stop();
    host_->stop(); // the second stop finds the log closed
    EXPECT_EQ(log_lines(),
              (Lines{"", "", aircraft_loaded, gauge_loaded(), logging_stopped, log_file_closed}));
}

TEST_F(FaultTest, BeforeStartEventsReachNothingAndClicksWorkOnTheModuleState) {
    host_->place(std::nullopt);
    send(KEY_GEAR_TOGGLE, 7);
    send(THIRD_PARTY_EVENT, 3);
    EXPECT_EQ(host_->handler_count(), 0u);
    EXPECT_EQ(counter(), "Events = 00000");
    EXPECT_EQ(host_->hover(counter_band.x, counter_band.y), "(null)");
    EXPECT_FALSE(fs::exists(log_name));

    press(activate_area);
    EXPECT_FALSE(icon_on());
    press(activate_area);
    EXPECT_TRUE(icon_on());
    press(reset_area); // a fresh log, with the aircraft asked for already
    host_->start();
    send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(counter(), "Events = 00001");
    host_->stop();

    // Before the start the clock's frequency is still zero: every record
    // written then shows the time zero.
    const std::string log = read_log();
    const std::string fresh = "\r\n Time= 0.000000 Gauge Refreshed= ";
    ASSERT_EQ(log.rfind(fresh, 0), 0u) << log;
    const std::string after_path = log.substr(log.find("\r\n", fresh.size()));
    EXPECT_EQ(after_path.rfind("\r\n Time= 0.000000 Aircraft Title= Mooney Bravo Type= Mooney "
                               "Model= M20T\r\n Time= 0.000000 Logging Started\r\n\r\n",
                               0),
              0u)
        << after_path;
    const Lines lines = log_lines();
    ASSERT_EQ(lines.size(), 10u) << log;
    EXPECT_EQ(Lines(lines.begin() + 4, lines.end()),
              (Lines{"", aircraft_loaded, gauge_loaded(), gear_toggle, logging_stopped,
                     log_file_closed}));
}

TEST_F(FaultTest, StartAfterStopKeepsTheCounterAndStateAndCountsEachEventOnce) {
    host_->place(std::nullopt);
    host_->start();
    send(KEY_GEAR_TOGGLE, 3);
    press(activate_area); // off
    host_->stop();
    host_->start();
    EXPECT_EQ(host_->handler_count(), 1u);
    send(KEY_GEAR_TOGGLE, 2);
    EXPECT_EQ(counter(), "Events = 00005");
    EXPECT_FALSE(icon_on());
    EXPECT_EQ(host_->hover(counter_band.x, counter_band.y), "KEY_GEAR_TOGGLE");
    host_->stop();
    host_->start();
    EXPECT_EQ(host_->handler_count(), 1u);
    host_->stop();
}

} // namespace
