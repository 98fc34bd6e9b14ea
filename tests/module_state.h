// Unit-test fixture for the module linked statically: every test starts from
// the module's load-time state, in a fresh temporary working directory of its
// own (the log path is relative), and the old directory is restored afterwards.
// Also helpers to read the log back byte for byte and to take the time values
// out of its records.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gauge/gauge.h"
#include "log/key_events.h"
#include "log/log_file.h"
#include "log/logging_controls.h"
#include "module/module.h"

namespace fs = std::filesystem;

// Puts every module-global back to its value at load. The log is closed, not
// just forgotten, so that no test leaks a stream into the next.
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

inline const char* const log_name = "Key_Events_Sent.log";

// The whole log as bytes, through a handle of its own; empty when absent.
inline std::string read_log() {
    std::ifstream in(log_name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& bytes) {
    std::ofstream out(log_name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A log with each time value replaced by "S", and the values themselves.
struct MaskedLog {
    std::string text;
    std::vector<double> times;
};

// Every value after "Time=" or "Time= " must be fixed notation with exactly
// six decimals; anything else fails the test. Nothing but the value is masked.
inline MaskedLog mask_times(const std::string& log) {
    MaskedLog masked;
    size_t pos = 0;
    for (;;) {
        size_t at = log.find("Time=", pos);
        if (at == std::string::npos)
            break;
        size_t start = at + 5;
        if (start < log.size() && log[start] == ' ')
            start++;
        size_t end = start;
        while (end < log.size() && log[end] >= '0' && log[end] <= '9')
            end++;
        size_t integer_digits = end - start;
        size_t decimals = 0;
        if (end < log.size() && log[end] == '.') {
            end++;
            while (end < log.size() && log[end] >= '0' && log[end] <= '9') {
                end++;
                decimals++;
            }
        }
        if (integer_digits == 0 || decimals != 6) {
            ADD_FAILURE() << "time not in fixed six-decimal form at byte " << at << ": "
                          << log.substr(at, 24);
        } else {
            masked.times.push_back(std::stod(log.substr(start, end - start)));
        }
        masked.text += log.substr(pos, start - pos);
        masked.text += "S";
        pos = end;
    }
    masked.text += log.substr(pos);
    return masked;
}

inline std::string masked_log() {
    return mask_times(read_log()).text;
}

// Fresh state in a fresh working directory, for each test.
class ModuleStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_directory_ = fs::current_path();
        std::random_device seed;
        std::mt19937_64 random(((uint64_t)seed() << 32) ^ seed());
        for (;;) {
            directory_ = fs::temp_directory_path() /
                         ("keywatch-unit-" + std::to_string(random() % 1000000000u));
            if (fs::create_directory(directory_))
                break;
        }
        fs::current_path(directory_);
        reset_module_state();
    }

    void TearDown() override {
        reset_module_state(); // closes the log before its directory goes
        fs::current_path(previous_directory_);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    fs::path directory_;

  private:
    fs::path previous_directory_;
};
