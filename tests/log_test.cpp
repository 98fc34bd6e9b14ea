// Unit tests of the log file and its clock: line breaks as they reach the
// disk, append and truncate, and the time printed in each record.

#include <utility>

#include "module_state.h"

namespace {

using LogFile = ModuleStateTest;

// Counter ticks worth `seconds` at the clock's frequency.
int64_t ticks(double seconds) {
    return (int64_t)(seconds * clock_frequency);
}

// ---- Line breaks ------------------------------------------------------------------

// Every record kind the module writes, in one log.
void write_every_kind_of_record() {
    module_init();
    on_key_event(0x10022, 0, nullptr);
    on_key_event(0x11000, 0, nullptr);
    toggle_logging(nullptr, 0);
    toggle_logging(nullptr, 0);
    restart_log(nullptr, 0);
    on_key_event(0x10000, 0, nullptr);
    module_deinit();
}

TEST_F(LogFile, LineBreaksAreCarriageReturnLineFeedAndNeverEndTheFile) {
    write_every_kind_of_record();
    const std::string log = read_log();
    ASSERT_GE(log.size(), 2u);
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] == '\n') {
            EXPECT_TRUE(i > 0 && log[i - 1] == '\r') << "bare line feed at byte " << i;
        }
        if (log[i] == '\r') {
            EXPECT_TRUE(i + 1 < log.size() && log[i + 1] == '\n') << "lone CR at byte " << i;
        }
    }
    EXPECT_NE(log.back(), '\n');
    EXPECT_EQ(log.substr(0, 2), "\r\n");
}

// ---- Open modes ---------------------------------------------------------------------

TEST_F(LogFile, AppendKeepsWhatWasThereTruncateDropsIt) {
    for (const auto& [mode, expected] :
         {std::pair{"a", "\r\n earlier run\r\nthis run"}, {"w", "\r\nthis run"}}) {
        std::ofstream(log_name, std::ios::binary) << "\r\n earlier run";
        open_log(mode);
        ASSERT_NE(log_file, nullptr);
        write_record("\n%s", "this run");
        close_log();
        EXPECT_EQ(read_log(), expected) << mode;
    }
}

// ---- Clock --------------------------------------------------------------------------

TEST_F(LogFile, ZeroFrequencyPrintsZeroTimes) {
    start_clock();
    clock_start -= 1000000; // far from zero, were it divided
    clock_frequency = 0.0;
    EXPECT_EQ(elapsed_seconds(), 0.0);
    on_key_event(0x10000, 0, nullptr);
    toggle_logging(nullptr, 0);
    toggle_logging(nullptr, 0);
    close_log();
    EXPECT_EQ(read_log(), "\r\n Time=0.000000; id=0; event_in=KEY_ID_MIN; evdata=0"
                          "\r\n Time= 0.000000 Logging Stopped"
                          "\r\n Time= 0.000000 Logging Started");
}

// Both the %Lf and the %f records print the seconds since start, in fixed
// notation with six decimals; Reset leaves the clock running.
TEST_F(LogFile, RecordsPrintSecondsSinceStart) {
    start_clock();
    clock_start -= ticks(12.5);
    restart_log(nullptr, 0);           // %Lf, %f, %f
    on_key_event(0x10019, 0, nullptr); // %Lf
    on_key_event(0x11000, 0, nullptr); // %Lf
    toggle_logging(nullptr, 0);        // %Lf
    toggle_logging(nullptr, 0);        // %f
    close_log();
    MaskedLog log = mask_times(read_log());
    ASSERT_EQ(log.times.size(), 7u);
    for (double t : log.times) {
        EXPECT_GE(t, 12.5);
        EXPECT_LT(t, 12.5 + 5.0);
    }
    // One day: large values keep fixed notation too.
    clock_start -= ticks(86400.0);
    open_log("a");
    on_key_event(0x10019, 0, nullptr);
    close_log();
    log = mask_times(read_log());
    ASSERT_EQ(log.times.size(), 8u);
    EXPECT_GE(log.times.back(), 86412.5);
}

TEST_F(LogFile, TimesNeverDecreaseAcrossManyRecords) {
    start_clock();
    axis_events_enabled = 1;
    for (int i = 0; i < 500; ++i)
        on_key_event(i % 3 == 0 ? 0x11000 + (uint32_t)i : 0x10000 + (uint32_t)i, 0, nullptr);
    close_log();
    MaskedLog log = mask_times(read_log());
    ASSERT_EQ(log.times.size(), 500u);
    for (size_t i = 1; i < log.times.size(); ++i)
        EXPECT_LE(log.times[i - 1], log.times[i]) << "record " << i;
}

} // namespace
