// The log file: the time printed in each record, a log that cannot be
// opened and one that cannot be written. Appending, truncating and CR LF
// line breaks show in the scenarios' golden logs.

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "gauge/face.h"
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

// The clock against a real wait, measured around the calls with the standard
// steady clock: the module's clock starts and the event reads it somewhere
// within those measured spans, so the event's time lies between the shortest
// and the longest the wait can have been, however slow the machine. A
// counter or frequency off by a factor, or a counter of whole seconds, puts
// it outside. The slack covers the six decimals' rounding and two clocks
// that may tick a few hundred parts per million apart.
TEST_F(LogFile, RecordTimesFollowARealWait) {
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::duration span) { return std::chrono::duration<double>(span).count(); };
    const Clock::time_point before_start = Clock::now();
    start_clock();
    const Clock::time_point after_start = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const Clock::time_point before_event = Clock::now();
    on_key_event(0x10019, 0, nullptr);
    const Clock::time_point after_event = Clock::now();
    close_log();
    const std::vector<double> times = mask_times(read_log()).times;
    ASSERT_EQ(times.size(), 1u);
    EXPECT_GE(times[0], seconds(before_event - after_start) * 0.999 - 2e-6);
    EXPECT_LE(times[0], seconds(after_event - before_start) * 1.001 + 2e-6);
}

// ---- A log that cannot be opened ---------------------------------------------------
// A directory stands in its place, in the working folder and in the user's
// folder alike: every record is lost, but nothing else is. The handler
// counts and names, the controls change their flags and the counter, start
// and stop do the rest of their work, and each operation that opens the log
// tries again (the handler once a second), so the log starts soon after the
// path is free.

constexpr uint32_t KEY_GEAR_TOGGLE = 0x10022;
constexpr uint32_t THIRD_PARTY_EVENT = USER_DEFINED_START; // the first add-on event
constexpr double retry_seconds = RETRY_PERIOD_MS / 1000.0;
const std::string gear_toggle = " Time=T; id=34; event_in=KEY_GEAR_TOGGLE; evdata=0";
const std::string logging_started = " Time= T Logging Started";

class UnopenableLog : public ModuleStateTest {
  protected:
    void SetUp() override {
        ModuleStateTest::SetUp();
        start_clock();
        fs::create_directory(log_name);
        fs::create_directories(user().log());
    }

    static std::pair<int32_t, int32_t> flags() {
        return {logging_state, logging_enabled};
    }

    // As if that many seconds had passed: the module's clock moves on, and
    // the last open of the log, by the system's tick count, moves back.
    static void let_time_pass(double seconds) {
        clock_start -= (int64_t)(seconds * clock_frequency);
        log_open_tick -= (int64_t)(seconds * 1000);
    }
};

// The first event tries at once; the path freed is not enough for the next
// ones, which try a second after the last try.
TEST_F(UnopenableLog, EventsAreCountedAndNamedAndRetryTheOpenOnceASecond) {
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    EXPECT_EQ(log_place, LOG_PLACE_UNWRITABLE);
    fs::remove(log_name);
    on_key_event(THIRD_PARTY_EVENT, 0, nullptr);
    let_time_pass(retry_seconds / 2);
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    EXPECT_EQ(log_file, nullptr);
    EXPECT_FALSE(fs::exists(log_name));
    EXPECT_EQ(event_count, 3);
    EXPECT_STREQ(last_event_name, "KEY_GEAR_TOGGLE");

    let_time_pass(retry_seconds / 2);
    on_key_event(0x10000, 9, nullptr);
    close_log();
    EXPECT_EQ(masked_log(), "\r\n Time=T; id=0; event_in=KEY_ID_MIN; evdata=9");
}

// The handler's retry begins a log with the load records the module gives,
// but only after a failure: not the first open of all, nor an open after a
// close, which other records begin.
TEST_F(UnopenableLog, ALogOpenedAfterAFailureBeginsWithTheLoadRecords) {
    set_load_records_writer([] { write_record(RECORD_LOGGING_STARTED, 0.0); });
    fs::remove(log_name);
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    close_log();
    let_time_pass(retry_seconds);
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    close_log();
    const Lines opened = {"", gear_toggle, gear_toggle};
    EXPECT_EQ(log_lines(), opened);

    fs::rename(log_name, "kept.log");
    fs::create_directory(log_name);
    let_time_pass(retry_seconds);
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    ASSERT_EQ(log_file, nullptr);
    fs::remove(log_name);
    fs::rename("kept.log", log_name);
    let_time_pass(retry_seconds);
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    close_log();
    EXPECT_EQ(log_lines(), (Lines{"", gear_toggle, gear_toggle, logging_started, gear_toggle}));
}

// Activate's flags follow the clicks all the same. While logging is off no
// event opens the log; Activate opens it for its own record.
TEST_F(UnopenableLog, ActivateFollowsTheClicksAndOpensTheLogForItsRecord) {
    for (int32_t state : {0, 1, 0}) {
        toggle_logging(nullptr, 0);
        EXPECT_EQ(flags(), std::pair(state, state));
        EXPECT_EQ(log_file, nullptr);
    }
    fs::remove(log_name);
    for (int i = 0; i < 6; ++i)
        on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    EXPECT_EQ(event_count, 6);
    EXPECT_FALSE(fs::exists(log_name));

    toggle_logging(nullptr, 0);
    EXPECT_EQ(flags(), std::pair(1, 1));
    close_log();
    EXPECT_EQ(log_lines(), (Lines{"", logging_started}));
}

// Reset with logging off: the counter goes to zero and logging on, the
// tooltip's name stays; the next event opens the log once it can.
TEST_F(UnopenableLog, ResetZeroesTheCounterAndTurnsLoggingOn) {
    for (int i = 0; i < 4; ++i)
        on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    toggle_logging(nullptr, 0);
    ASSERT_EQ(flags(), std::pair(0, 0));

    restart_log(nullptr, 0);
    EXPECT_EQ(log_file, nullptr);
    EXPECT_EQ(event_count, 0);
    EXPECT_EQ(flags(), std::pair(1, 1));
    EXPECT_STREQ(last_event_name, "KEY_GEAR_TOGGLE");

    fs::remove(log_name);
    let_time_pass(retry_seconds);
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    close_log();
    EXPECT_EQ(log_lines(), (Lines{"", gear_toggle}));
}

#ifndef _WIN32
// An environment variable set for a while, then put back as it was.
class Setting {
  public:
    Setting(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~Setting() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    Setting(const Setting&) = delete;
    Setting& operator=(const Setting&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// The file modes that would stop others do not stop root; a name that leads
// into a folder that does not exist stops everyone. So the log's name here is
// a symbolic link into a folder made only later, with what earlier sessions
// wrote in the file: the event that can open it at last must add to that,
// not empty it. HOME leads nowhere either, so that no other place the module
// might turn to for its log can stand in for the retry.
TEST_F(UnopenableLog, TheRetryThatOpensTheLogKeepsWhatEarlierSessionsWrote) {
    fs::remove(log_name);
    fs::create_symlink("later/Key_Events_Sent.log", log_name);
    std::ofstream("home-is-a-file").close();
    const Setting home("HOME", (directory_ / "home-is-a-file").string());

    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    EXPECT_EQ(log_file, nullptr);
    fs::create_directory("later");
    std::ofstream("later/Key_Events_Sent.log", std::ios::binary)
        << "\r\n Time= 9.000000 Log File Closed";
    let_time_pass(retry_seconds);
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    close_log();
    EXPECT_EQ(log_lines(), (Lines{"", " Time= T Log File Closed", gear_toggle}));
}

// ---- A log that takes the open and refuses the writes ---------------------------
// The user's folder's log a link to the full device, which fails every
// write, its stream unbuffered so that a record's own write fails, as one
// longer than the buffer would. The tooltip names it with the reason, and
// the retry passes it over even with room again, until Activate.

std::string activate_tooltip() {
    return log_place_text(0, 0, nullptr, nullptr, nullptr);
}

TEST_F(UnopenableLog, AWriteRefusedInTheUserFolderPassesItOverUntilActivate) {
    fs::remove(user().log());
    fs::create_symlink("/dev/full", user().log());
    open_log("a");
    ASSERT_EQ(log_place, LOG_PLACE_USER_FOLDER);
    setvbuf(log_file, nullptr, _IONBF, 0);
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    EXPECT_EQ(log_file, nullptr);
    const std::string no_space = " (the log cannot be written: " + user().log().string() + ": " +
                                 std::strerror(ENOSPC) + ")";
    EXPECT_EQ(activate_tooltip(), no_space);
    EXPECT_EQ(event_count, 1);

    fs::remove(user().log()); // room again
    let_time_pass(retry_seconds);
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr); // the working folder refuses the log
    EXPECT_EQ(log_file, nullptr);
    EXPECT_FALSE(fs::exists(user().log()));
    EXPECT_EQ(activate_tooltip(), no_space);

    toggle_logging(nullptr, 0);
    EXPECT_EQ(activate_tooltip(), " (log: " + user().log().string() + ")");
    close_log();
    EXPECT_EQ(log_lines(user().log()), (Lines{"", " Time= T Logging Stopped"}));
}
#endif

// Start registers the handler and loses its two records; stop writes
// nothing and still removes the handler.
TEST_F(UnopenableLog, StartAndStopDoAllButWrite) {
    static int handlers = 0;
    PANELS panels{};
    panels.register_key_event_handler = [](KeyEventHandler, void*) { ++handlers; };
    panels.unregister_key_event_handler = [](KeyEventHandler, void*) { --handlers; };
    ImportTable.panels.table = &panels;
    handlers = 0;

    module_init();
    EXPECT_EQ(handlers, 1);
    on_key_event(KEY_GEAR_TOGGLE, 0, nullptr);
    EXPECT_EQ(event_count, 1);
    module_deinit();
    EXPECT_EQ(handlers, 0);
    EXPECT_EQ(log_file, nullptr);
    EXPECT_TRUE(fs::is_empty(log_name)) << "the directory in the log's place";
    EXPECT_TRUE(fs::is_empty(user().log())) << "the directory in the user folder log's place";
}

} // namespace
