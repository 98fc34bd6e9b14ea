// The time printed in each record. Appending, truncating and CR LF line
// breaks show in the scenarios' golden logs.

#include "module_state.h"

namespace {

using LogFile = ModuleStateTest;

// Both the %Lf and the %f records print the seconds since start, in fixed
// notation with six decimals (mask_times checks the form); Reset leaves the
// clock running. A zero frequency prints every time as zero.
TEST_F(LogFile, RecordsPrintSecondsSinceStart) {
    start_clock();
    clock_start -= (int64_t)(12.5 * clock_frequency);
    restart_log(nullptr, 0);           // %Lf, %f, %f
    on_key_event(0x10019, 0, nullptr); // %Lf
    on_key_event(0x11000, 0, nullptr); // %Lf
    toggle_logging(nullptr, 0);        // %Lf
    toggle_logging(nullptr, 0);        // %f
    close_log();
    const MaskedLog log = mask_times(read_log());
    ASSERT_EQ(log.times.size(), 7u);
    for (double t : log.times) {
        EXPECT_GE(t, 12.5);
        EXPECT_LT(t, 12.5 + 5.0);
    }

    clock_frequency = 0.0; // clock_start is far from now, were it divided
    open_log("w");
    on_key_event(0x10000, 0, nullptr);
    toggle_logging(nullptr, 0);
    toggle_logging(nullptr, 0);
    close_log();
    EXPECT_EQ(read_log(), "\r\n Time=0.000000; id=0; event_in=KEY_ID_MIN; evdata=0"
                          "\r\n Time= 0.000000 Logging Stopped"
                          "\r\n Time= 0.000000 Logging Started");
}

} // namespace
