// Where the log goes when the working folder refuses it, as the simulator
// meets it installed under Program Files: the built module in the stand-in
// simulator, the working folder's log path taken by a directory (or, on
// Windows, by a file another program holds without write sharing), the log
// in the user's folder, and the Activate tooltip saying where it is or why
// it cannot be written. Each test has a user's folder of its own
// (tests/kit/user_folder.h). A writable working folder, where the log and
// the tooltip are as they always were, is every scenario's golden file.

#include <cstring>
#include <fstream>
#include <string>

#include "sim_fixture.h" // before windows.h, whose macros share names with the records'

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef KEYWATCH_MODULE_FILE
#error "KEYWATCH_MODULE_FILE must name the module file under test"
#endif

namespace {

using LogPlace = SimTest;

const std::string earlier_record = "\r\n Time= 1.500000 Logging Started"; // a log's older content
const std::string earlier_line = " Time= T Logging Started";

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The system's words for a failure, as the tooltip gives them: one line,
// without the final full stop.
#ifdef _WIN32
std::string system_words(DWORD code) {
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    std::string words(text, length);
    words.erase(words.find_last_not_of("\r\n .") + 1);
    return words;
}
// Windows refuses to open a directory for writing as access denied.
const std::string directory_refused = system_words(ERROR_ACCESS_DENIED);
#else
const std::string directory_refused = std::strerror(EISDIR);
#endif

std::string activate_with_log_at(const fs::path& log) {
    return "Activate (log: " + log.string() + ")";
}
std::string activate_with_no_log(const fs::path& log, const std::string& reason) {
    return "Activate (the log cannot be written: " + log.string() + ": " + reason + ")";
}

// The log goes to the user's folder (its folder made where missing, and on
// Linux Documents too) for as long as the working folder refuses it, and
// Reset empties it there; once the working folder takes it again, the log
// returns there and the user folder's copy is left as it was.
TEST_F(LogPlace, TheUserFolderHoldsTheLogWhileTheWorkingFolderRefusesIt) {
    fs::create_directory(log_name);
    ASSERT_FALSE(fs::exists(user().log().parent_path()));
    host_->place(std::nullopt);
    EXPECT_EQ(hover(activate_area), "Activate"); // no open tried yet
    host_->start();
    send(KEY_GEAR_TOGGLE, 2);
    EXPECT_EQ(hover(activate_area), activate_with_log_at(user().log()));
    press(activate_area);
    press(activate_area);
    host_->stop();
    EXPECT_EQ(log_lines(user().log()),
              (Lines{"", "", aircraft_loaded(), gauge_loaded(), gear_toggle, gear_toggle,
                     logging_stopped, logging_started, logging_stopped, log_file_closed}));
    EXPECT_TRUE(fs::is_empty(log_name));

    host_->start();
    press(reset_area);
    send(KEY_GEAR_TOGGLE);
    host_->stop();
    EXPECT_EQ(log_lines(user().log()),
              (Lines{"", gauge_refreshed(), aircraft_title_line, logging_started, gear_toggle,
                     logging_stopped, log_file_closed}));

    fs::remove(log_name);
    const std::string user_log = read_log(user().log());
    host_->start();
    send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(hover(activate_area), "Activate");
    host_->stop();
    EXPECT_EQ(log_lines(), (Lines{"", "", aircraft_loaded(), gauge_loaded(), gear_toggle,
                                  logging_stopped, log_file_closed}));
    EXPECT_EQ(read_log(user().log()), user_log);
}

// With both places refused the tooltip names the user folder's path and
// the system's reason, and the counter goes on. Events try again, a second
// after the last try, in append mode: what the log already holds stays,
// and the load records lost at start begin what the retry writes.
TEST_F(LogPlace, WithNeitherPlaceWritableTheTooltipSaysWhyAndEventsRetry) {
    fs::create_directory(log_name);
    fs::create_directories(user().log());
    start_with_gauge();
    send(KEY_GEAR_TOGGLE, 3);
    EXPECT_EQ(counter(), "Events = 00003");
    EXPECT_EQ(hover(counter_band), "KEY_GEAR_TOGGLE");
    EXPECT_EQ(hover(activate_area), activate_with_no_log(user().log(), directory_refused));

    fs::remove(user().log());
    write_file(user().log(), earlier_record);
    wait_for_retry();
    send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(hover(activate_area), activate_with_log_at(user().log()));
    EXPECT_EQ(counter(), "Events = 00004");
    host_->stop();
    EXPECT_EQ(log_lines(user().log()),
              (Lines{"", earlier_line, "", aircraft_loaded(), gauge_loaded(), gear_toggle,
                     logging_stopped, log_file_closed}));
}

#ifdef _WIN32

// A log another program holds open without write sharing, as a spreadsheet
// does, with the content it had. Released when the object goes.
class HeldFile {
  public:
    HeldFile(const fs::path& path, const std::string& content) {
        write_file(path, content);
        handle_ = CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << path.string();
    }
    ~HeldFile() {
        release();
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    void release() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The held log keeps its content: the records go to the user's folder.
// With both held, the events' records are lost but nothing else; release
// the working folder's and the handler's next retry appends to it, load
// records first.
TEST_F(LogPlace, ALogHeldByAnotherProgramIsLeftAsItWas) {
    {
        HeldFile held(log_name, earlier_record);
        start_with_gauge();
        send(KEY_GEAR_TOGGLE, 2);
        EXPECT_EQ(hover(activate_area), activate_with_log_at(user().log()));
        host_->stop();
    }
    EXPECT_EQ(read_log(), earlier_record);
    const Lines user_lines = {"",          "",          aircraft_loaded(), gauge_loaded(),
                              gear_toggle, gear_toggle, logging_stopped,   log_file_closed};
    EXPECT_EQ(log_lines(user().log()), user_lines);

    HeldFile held(log_name, earlier_record);
    const std::string user_log = read_log(user().log());
    {
        HeldFile held_user_log(user().log(), user_log);
        host_->start();
        send(KEY_GEAR_TOGGLE);
        EXPECT_EQ(counter(), "Events = 00003");
        EXPECT_EQ(hover(activate_area),
                  activate_with_no_log(user().log(), system_words(ERROR_SHARING_VIOLATION)));
        held.release();
        wait_for_retry();
        send(KEY_GEAR_TOGGLE);
        EXPECT_EQ(hover(activate_area), "Activate");
        host_->stop();
    }
    EXPECT_EQ(log_lines(), (Lines{"", earlier_line, "", aircraft_loaded(), gauge_loaded(),
                                  gear_toggle, logging_stopped, log_file_closed}));
    EXPECT_EQ(read_log(user().log()), user_log);
}

// A user name outside the ANSI code page: the log opens by its wide path all
// the same. The tooltip gives the path in the ANSI code page, as all text of
// the simulator's interface is, each character it lacks a '?'.
TEST_F(LogPlace, AUserFolderOutsideTheAnsiCodePageTakesTheLog) {
    ASSERT_EQ(GetACP(), 1252u) << "the tooltip below is written for code page 1252";
    const fs::path home = directory_.parent_path() / L"\u043f\u0438\u043b\u043e\u0442-\u03a8";
    UserFolder pilot(home);
    fs::create_directory(log_name);
    start_with_gauge();
    send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(hover(activate_area), "Activate (log: " + directory_.parent_path().string() + "\\" +
                                        std::string(5, '?') +
                                        "-?\\Documents\\Prepar3D v4 Files\\Key_Events_Sent.log)");
    host_->stop();
    EXPECT_EQ(log_lines(pilot.log()), (Lines{"", "", aircraft_loaded(), gauge_loaded(), gear_toggle,
                                             logging_stopped, log_file_closed}));
}

#endif

} // namespace
