// Unit-test fixture for the module linked statically: every test starts from
// the module's load-time state, in a fresh working directory of its own.
#pragma once

#include "gauge/aircraft.h"
#include "gauge/gauge.h"
#include "gauge/logging_controls.h"
#include "log/key_events.h"
#include "log/log_file.h"
#include "module/module.h"
#include "sim_fixture.h"

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
