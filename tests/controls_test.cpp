// Unit tests of the logging controls (Activate and Reset) and of module start
// and stop, against a fake panel-service table that answers the aircraft
// queries and records the handler's registration.

#include <map>
#include <utility>

#include "module_state.h"

namespace {

// ---- Fake simulator services ------------------------------------------------------

// How the fake answers one expression.
struct Answer {
    enum Kind { Text, NullSlot, Unanswered } kind = Unanswered;
    std::string text;
};

struct FakeServices {
    PANELS table{};
    std::map<std::string, Answer> answers;
    std::vector<std::string> asked;
    std::vector<KeyEventHandler> registered;
    std::vector<KeyEventHandler> unregistered;
};

FakeServices* fake = nullptr;

int32_t fake_execute_calculator_code(const char* expression, double*, int32_t*, const char** text) {
    fake->asked.emplace_back(expression);
    auto found = fake->answers.find(expression);
    if (found == fake->answers.end() || found->second.kind == Answer::Unanswered)
        return 0;
    *text = found->second.kind == Answer::NullSlot ? nullptr : found->second.text.c_str();
    return 1;
}

void fake_register(KeyEventHandler handler, void*) {
    fake->registered.push_back(handler);
}

void fake_unregister(KeyEventHandler handler, void*) {
    fake->unregistered.push_back(handler);
}

const char* const title_query = "(A:TITLE, string)";
const char* const type_query = "(A:ATC TYPE, string)";
const char* const model_query = "(A:ATC MODEL, string)";

class WithFakeServices : public ModuleStateTest {
  protected:
    void SetUp() override {
        ModuleStateTest::SetUp();
        services_.table.execute_calculator_code = fake_execute_calculator_code;
        services_.table.register_key_event_handler = fake_register;
        services_.table.unregister_key_event_handler = fake_unregister;
        answer(title_query, "Mooney Bravo");
        answer(type_query, "Mooney");
        answer(model_query, "M20T");
        fake = &services_;
        ImportTable.panels.table = &services_.table;
    }

    void TearDown() override {
        ModuleStateTest::TearDown();
        fake = nullptr;
    }

    void answer(const char* expression, std::string text) {
        services_.answers[expression] = Answer{Answer::Text, std::move(text)};
    }

    FakeServices services_;
};

const std::vector<std::string> all_three_queries = {title_query, type_query, model_query};

// ---- Activate -----------------------------------------------------------------------

using Activate = WithFakeServices;

TEST_F(Activate, TwiceStopsThenStartsAndEachClickIsOnDiskAtOnceWhenStopping) {
    start_clock();
    toggle_logging(nullptr, 0);
    EXPECT_EQ(logging_state, 0);
    EXPECT_EQ(logging_enabled, 0);
    // Stopping flushes the log itself.
    EXPECT_EQ(masked_log(), "\r\n Time= T Logging Stopped");

    EXPECT_EQ(toggle_logging(nullptr, 0), 0);
    EXPECT_EQ(logging_state, 1);
    EXPECT_EQ(logging_enabled, 1);
    close_log();
    EXPECT_EQ(masked_log(), "\r\n Time= T Logging Stopped\r\n Time= T Logging Started");
}

TEST_F(Activate, StopWithNoLogOpenAppendsOnlyItsStopLine) {
    start_clock();
    write_log("\r\n earlier run");
    toggle_logging(nullptr, 0);
    EXPECT_EQ(masked_log(), "\r\n earlier run\r\n Time= T Logging Stopped");
    on_key_event(0x10022, 0, nullptr);
    on_key_event(0x11000, 0, nullptr);
    close_log();
    EXPECT_EQ(masked_log(), "\r\n earlier run\r\n Time= T Logging Stopped");
    EXPECT_EQ(event_count, 2);
}

TEST_F(Activate, FlagsFollowTheClicksWhenTheLogCannotBeOpened) {
    fs::create_directory(log_name);
    toggle_logging(nullptr, 0);
    EXPECT_EQ(logging_state, 0);
    EXPECT_EQ(logging_enabled, 0);
    toggle_logging(nullptr, 0);
    EXPECT_EQ(logging_state, 1);
    EXPECT_EQ(logging_enabled, 1);
    EXPECT_EQ(log_file, nullptr);
}

// ---- Reset --------------------------------------------------------------------------

using Reset = WithFakeServices;

TEST_F(Reset, WithLoggingOffStartsAFreshLogOfThreeRecords) {
    start_clock();
    write_log("\r\n earlier run");
    on_key_event(0x10022, 0, nullptr); // buffered when Reset closes the stream
    toggle_logging(nullptr, 0);
    on_key_event(0x11000, 0, nullptr);
    ASSERT_EQ(logging_enabled, 0);
    flush_counter = 3;
    std::strcpy(aircraft_title, "Old title");
    answer(title_query, "Beech Baron");
    services_.asked.clear();

    EXPECT_EQ(restart_log(nullptr, 0), 0);
    EXPECT_EQ(logging_enabled, 1);
    EXPECT_EQ(logging_state, 1);
    EXPECT_EQ(event_count, 0);
    EXPECT_STREQ(last_event_name, "User_Defined_Event");
    EXPECT_EQ(flush_counter, 3);
    EXPECT_EQ(services_.asked, all_three_queries);
    close_log();

    MaskedLog log = mask_times(read_log());
    EXPECT_EQ(log.text, "\r\n Time= T Gauge Refreshed= "
                        "\r\n Time= T Aircraft Title= Beech Baron Type= Mooney Model= M20T"
                        "\r\n Time= T Logging Started");
    ASSERT_EQ(log.times.size(), 3u);
    EXPECT_LE(log.times[0], log.times[1]);
    EXPECT_LE(log.times[1], log.times[2]);
}

TEST_F(Reset, ZeroesTheCountEvenWhenTheLogCannotBeCreated) {
    on_key_event(0x10022, 0, nullptr);
    close_log();
    fs::remove(log_name);
    fs::create_directory(log_name);
    logging_enabled = 0;
    logging_state = 0;
    event_count = 5;
    services_.asked.clear();

    restart_log(nullptr, 0);
    EXPECT_EQ(log_file, nullptr);
    EXPECT_EQ(event_count, 0);
    EXPECT_EQ(logging_enabled, 1);
    EXPECT_EQ(logging_state, 1);
    EXPECT_STREQ(last_event_name, "KEY_GEAR_TOGGLE");
    EXPECT_TRUE(services_.asked.empty()); // no log, so no aircraft query
}

TEST_F(Reset, DoesNotRestartTheClock) {
    start_clock();
    clock_start -= (int64_t)(100.0 * clock_frequency);
    restart_log(nullptr, 0);
    close_log();
    MaskedLog log = mask_times(read_log());
    ASSERT_EQ(log.times.size(), 3u);
    EXPECT_GE(log.times[0], 100.0);
}

// ---- Module start and stop ------------------------------------------------------------

using ModuleLifecycle = WithFakeServices;

// The two load records, with the module's path as the platform gives it.
std::string load_records(const std::string& title, const std::string& type,
                         const std::string& model) {
    return "\r\n\r\n Time=T; Aircraft Loaded Title=" + title + "; Type=" + type +
           "; Model=" + model + "\r\n Time= T Gauge Loaded= " + module_path;
}

TEST_F(ModuleLifecycle, StartWritesBothLoadRecordsWhateverLoggingSays) {
    for (int32_t enabled : {1, 0}) {
        SCOPED_TRACE(enabled);
        write_log("");
        logging_enabled = enabled;
        module_init();
        EXPECT_NE(module_path[0], '\0');
        ASSERT_EQ(services_.registered.size(), 1u);
        EXPECT_EQ(services_.registered[0], on_key_event);
        EXPECT_EQ(services_.asked, all_three_queries);
        close_log();
        EXPECT_EQ(masked_log(), load_records("Mooney Bravo", "Mooney", "M20T"));
        services_.registered.clear();
        services_.asked.clear();
    }
}

TEST_F(ModuleLifecycle, StartAppendsToAnEarlierRun) {
    write_log("\r\n earlier run");
    module_init();
    close_log();
    EXPECT_EQ(masked_log(), "\r\n earlier run" + load_records("Mooney Bravo", "Mooney", "M20T"));
}

TEST_F(ModuleLifecycle, StopWritesClosingRecordsByLoggingState) {
    struct Case {
        int32_t enabled;
        const char* closing;
    };
    for (const Case& c : {Case{1, "\r\n Time= T Logging Stopped\r\n Time= T Log File Closed"},
                          Case{0, "\r\n Time= T Log File Closed"}}) {
        SCOPED_TRACE(c.enabled);
        write_log("");
        module_init();
        logging_enabled = c.enabled;
        module_deinit();
        EXPECT_EQ(log_file, nullptr);
        ASSERT_EQ(services_.unregistered.size(), 1u);
        EXPECT_EQ(services_.unregistered[0], on_key_event);
        EXPECT_EQ(logging_enabled, c.enabled);
        EXPECT_EQ(masked_log(), load_records("Mooney Bravo", "Mooney", "M20T") + c.closing);
        services_.unregistered.clear();
    }
}

TEST_F(ModuleLifecycle, StopWithNoLogWritesNothingAndStillUnregisters) {
    fs::create_directory(log_name);
    module_init();
    ASSERT_EQ(log_file, nullptr);
    module_deinit();
    EXPECT_EQ(services_.unregistered.size(), 1u);
    EXPECT_TRUE(fs::is_directory(log_name));
}

TEST_F(ModuleLifecycle, StartAndStopWithoutServiceTableStillWriteTheRecords) {
    ImportTable.panels.table = nullptr;
    std::strcpy(aircraft_title, "Kept");
    module_init();
    module_deinit();
    EXPECT_EQ(masked_log(), load_records("Kept", "", "") +
                                "\r\n Time= T Logging Stopped\r\n Time= T Log File Closed");
    EXPECT_TRUE(services_.asked.empty());
}

// ---- Aircraft answers ---------------------------------------------------------------

TEST_F(ModuleLifecycle, AnswerSlotLeftNullOrUntouchedKeepsTheEarlierText) {
    query_aircraft();
    EXPECT_STREQ(aircraft_title, "Mooney Bravo");
    services_.answers[title_query] = Answer{Answer::NullSlot, ""};
    services_.answers[model_query] = Answer{Answer::Unanswered, ""};
    answer(type_query, "Beech");
    module_init();
    EXPECT_STREQ(aircraft_title, "Mooney Bravo");
    EXPECT_STREQ(aircraft_type, "Beech");
    EXPECT_STREQ(aircraft_model, "M20T");
    close_log();
    EXPECT_EQ(masked_log(), load_records("Mooney Bravo", "Beech", "M20T"));
}

TEST_F(ModuleLifecycle, UnansweredBeforeAnyAnswerLeavesTheFieldsEmpty) {
    services_.answers.clear();
    query_aircraft();
    EXPECT_STREQ(aircraft_title, "");
    EXPECT_STREQ(aircraft_type, "");
    EXPECT_STREQ(aircraft_model, "");
    EXPECT_EQ(services_.asked, all_three_queries);
}

TEST_F(ModuleLifecycle, AnswersUpToTheBufferLessOneAreCopiedWholeLongerOnesEmptyTheField) {
    for (size_t length : {size_t(0), size_t(1), TEXT_BUFFER_SIZE - 1, TEXT_BUFFER_SIZE,
                          TEXT_BUFFER_SIZE + 1, size_t(300)}) {
        SCOPED_TRACE(length);
        std::strcpy(aircraft_title, "Earlier");
        std::string text(length, 'T');
        if (length > 0)
            text.back() = 'E'; // the last character must arrive too
        answer(title_query, text);
        query_aircraft();
        EXPECT_EQ(std::string(aircraft_title), length < TEXT_BUFFER_SIZE ? text : "");
    }
}

} // namespace
