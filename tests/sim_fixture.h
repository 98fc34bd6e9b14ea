// Shared test fixtures. Every test runs in a fresh temporary working
// directory of its own (tests/kit/temporary_directory.h), since the log path
// is relative, with a user's folder of its own beside it, where the log goes
// when the working folder refuses it (tests/kit/user_folder.h); the log is
// read back byte for byte, with its time values checked and masked
// (tests/kit/log_mask.h), whole or split into lines.
// Where a test names the built module file (KEYWATCH_MODULE_FILE), SimTest
// also loads it into the stand-in simulator, as the simulator does.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/kit/log_mask.h"
#include "tests/kit/temporary_directory.h"
#include "tests/kit/user_folder.h"

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

inline const char* const log_name = "Key_Events_Sent.log";

// ---- Reading the log ----------------------------------------------------------------

// The whole log (or another file) as bytes, through a handle of its own;
// empty when absent, and when it is no regular file: a link to the full
// device, say, which reads as endless zeros.
inline std::string read_log(const fs::path& name = log_name) {
    std::error_code error;
    if (!fs::is_regular_file(name, error))
        return {};
    std::ifstream in(name, std::ios::binary);
    std::ostringstream bytes; // in one copy: the sweeps' logs run to tens of megabytes
    if (in)
        bytes << in.rdbuf();
    return std::move(bytes).str();
}

// The log with each time masked as "T" (tests/kit/log_mask.h); a time in
// another form fails the test. Module paths stay, to be compared whole.
inline MaskedLog mask_times(const std::string& log) {
    MaskedLog masked = mask_log(log);
    for (const std::string& fault : masked.faults)
        ADD_FAILURE() << fault;
    return masked;
}

inline std::string masked_log(const fs::path& name = log_name) {
    return mask_times(read_log(name)).text;
}

// The masked log split at its CR LF breaks.
inline Lines log_lines(const fs::path& name = log_name) {
    const std::string text = masked_log(name);
    Lines lines;
    for (size_t start = 0;;) {
        const size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 2;
    }
}

// ---- A fresh working directory per test -------------------------------------------------

class WorkingDirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_.emplace("keywatch-test-");
        directory_ = folder_->path() / "work";
        fs::create_directory(directory_);
        inside_.emplace(directory_);
        user_.emplace(folder_->path() / "home");
    }

    void TearDown() override {
        user_.reset();
        inside_.reset();
        folder_.reset();
    }

    const UserFolder& user() const {
        return *user_;
    }

    fs::path directory_;

  private:
    std::optional<TemporaryDirectory> folder_;
    std::optional<WorkingDirectory> inside_;
    std::optional<UserFolder> user_;
};

#ifdef KEYWATCH_MODULE_FILE

// ---- The built module file in the stand-in simulator ---------------------------------

#include <chrono>
#include <memory>
#include <thread>

#include "interface/event_numbers.h"
#include "sim/host.h"
#include "sim/keywatch_face.h"

constexpr uint32_t KEY_GEAR_TOGGLE = 0x10022;
constexpr uint32_t KEY_AXIS_ELEVATOR_SET = 0x100E2;
constexpr uint32_t THIRD_PARTY_EVENT = USER_DEFINED_START; // the first add-on event

struct Point {
    int32_t x, y;
};
constexpr Point activate_area{30, 30}; // child (5, 20, 61, 33) over the icon
constexpr Point reset_area{100, 30};   // child (72, 20, 55, 33) over RST
constexpr Point counter_band{60, 65};  // parent (1, 55, 128, 24)

// The module's own path as the module reports it: absolute, with the
// platform's separators.
inline std::string module_file_path() {
    return fs::path(KEYWATCH_MODULE_FILE).make_preferred().string();
}

// The masked lines of the records the module writes.
inline std::string aircraft_loaded(const std::string& title = "Mooney Bravo",
                                   const std::string& type = "Mooney",
                                   const std::string& model = "M20T") {
    return " Time=T; Aircraft Loaded Title=" + title + "; Type=" + type + "; Model=" + model;
}
inline const std::string aircraft_title_line =
    " Time= T Aircraft Title= Mooney Bravo Type= Mooney Model= M20T";
inline const std::string gear_toggle = " Time=T; id=34; event_in=KEY_GEAR_TOGGLE; evdata=0";
inline const std::string logging_started = " Time= T Logging Started";
inline const std::string logging_stopped = " Time= T Logging Stopped";
inline const std::string log_file_closed = " Time= T Log File Closed";
inline std::string gauge_loaded() {
    return " Time= T Gauge Loaded= " + module_file_path();
}
inline std::string gauge_refreshed() {
    return " Time= T Gauge Refreshed= " + module_file_path();
}

// The built module file loaded into a host that answers the aircraft queries
// with a Mooney Bravo. counter() and icon_on() draw a frame first.
class SimTest : public WorkingDirectoryTest {
  protected:
    void SetUp() override {
        WorkingDirectoryTest::SetUp();
        host_ = std::make_unique<sim::Host>(KEYWATCH_MODULE_FILE);
        host_->set_answer(sim::AircraftField::title, "Mooney Bravo");
        host_->set_answer(sim::AircraftField::type, "Mooney");
        host_->set_answer(sim::AircraftField::model, "M20T");
    }

    void TearDown() override {
        host_.reset();
        WorkingDirectoryTest::TearDown();
    }

    // The module started with one gauge placed and drawn once.
    void start_with_gauge(std::optional<std::string> parameters = std::nullopt) {
        host_->start();
        host_->place(std::move(parameters));
        host_->frame();
    }

    void press(Point p) {
        ASSERT_TRUE(host_->click(p.x, p.y)) << p.x << "," << p.y;
    }
    std::optional<std::string> hover(Point p) const {
        return host_->hover(p.x, p.y);
    }
    void send(uint32_t id, uint32_t count = 1) {
        for (uint32_t i = 0; i < count; ++i)
            host_->send_event(id, 0);
    }
    // Long enough for the handler, which tries to open a missing log at
    // most once a second after a failure, to try again.
    static void wait_for_retry() {
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    }
    std::string counter() {
        host_->frame();
        return sim::read_keywatch_face(host_->panel()).counter;
    }
    bool icon_on() {
        host_->frame();
        return sim::read_keywatch_face(host_->panel()).icon_on;
    }

    std::unique_ptr<sim::Host> host_;
};

#endif
