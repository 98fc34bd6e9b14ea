// Unit-test fixture for the module linked statically: every test starts from
// the module's load-time state, in a fresh working directory of its own.
#pragma once

#include <cstring>

#include "gauge/gauge.h"
#include "log/key_events.h"
#include "log/log_file.h"
#include "log/logging_controls.h"
#include "module/module.h"
#include "sim_fixture.h"

// Every module-global back to its value at load; the log closed, not leaked.
inline void reset_module_state() {
    close_log();
    log_file = nullptr;
    clock_start = 0;
    clock_frequency = 0.0;
    event_count = 0;
    last_event_name = nullptr;
    flush_counter = 0;
    logging_enabled = 1;
    axis_events_enabled = 0;
    logging_state = 1;
    parameters_seen = 0;
    std::memset(module_path, 0, sizeof module_path);
    std::memset(aircraft_title, 0, sizeof aircraft_title);
    std::memset(aircraft_type, 0, sizeof aircraft_type);
    std::memset(aircraft_model, 0, sizeof aircraft_model);
    ImportTable.panels.table = nullptr;
}

class ModuleStateTest : public WorkingDirectoryTest {
  protected:
    void SetUp() override {
        WorkingDirectoryTest::SetUp();
        reset_module_state();
    }
    void TearDown() override {
        reset_module_state(); // closes the log before its directory goes
        WorkingDirectoryTest::TearDown();
    }
};
