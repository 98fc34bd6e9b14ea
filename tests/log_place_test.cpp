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
#include <optional>
#include <string>

#include "sim_fixture.h" // before windows.h, whose macros share names with the records'

#include "activate_tooltip.h"

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

// ---- Paths outside the ANSI code page ------------------------------------------------
// All text of the simulator's interface is in the ANSI code page (1252
// here). Each name in a path that has characters it lacks is shown in its
// short form, which Windows makes of ASCII, the other names as they are.
// The files themselves are opened by their wide paths. (Only a name without
// a short form keeps a '?' for each such character: one that does not exist
// yet, or one on a volume that makes none. Wine makes one for every name,
// and Documents must exist for its known folder to be found.)

// The path `text`, read in the ANSI code page, names `file`: their long
// forms are one, and no character of `text` stands for one it lacks. It
// begins with `file`'s own folders down to `kept` (names the code page holds).
::testing::AssertionResult names(const std::string& text, const fs::path& file,
                                 const fs::path& kept) {
    if (text.find('?') != std::string::npos)
        return ::testing::AssertionFailure() << text << " has a '?'";
    if (!text.starts_with(fs::absolute(kept).string() + "\\"))
        return ::testing::AssertionFailure() << text << " does not begin with " << kept.string();
    wchar_t wide[1024] = {}, long_text[1024] = {}, long_file[1024] = {};
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 1024);
    if (GetLongPathNameW(wide, long_text, 1024) == 0 ||
        GetLongPathNameW(fs::absolute(file).c_str(), long_file, 1024) == 0 ||
        std::wstring(long_text) != long_file)
        return ::testing::AssertionFailure() << text << " does not name " << file.string();
    return ::testing::AssertionSuccess();
}

// The part of `text` between `front` and `back`, or a failure.
std::string between(const std::optional<std::string>& text, const std::string& front,
                    const std::string& back) {
    const std::string whole = text.value_or("");
    const bool framed = whole.size() >= front.size() + back.size() && whole.starts_with(front) &&
                        whole.ends_with(back);
    EXPECT_TRUE(framed) << whole;
    return framed ? whole.substr(front.size(), whole.size() - front.size() - back.size()) : "";
}

const fs::path cyrillic_name = L"\u043f\u0438\u043b\u043e\u0442-\u03a8"; // "пилот-Ψ"

// A Documents folder (the registry's "Personal" folder) under a user name
// outside the code page: refused there at first, the log's path is shown
// in its short form; so it is once the retry opens it there.
TEST_F(LogPlace, AUserFolderOutsideTheAnsiCodePageIsShownInItsShortForm) {
    ASSERT_EQ(GetACP(), 1252u) << "the tooltips below are written for code page 1252";
    UserFolder pilot(directory_.parent_path() / cyrillic_name);
    fs::create_directory(log_name);
    fs::create_directories(pilot.log());
    start_with_gauge();
    EXPECT_TRUE(names(between(hover(activate_area), "Activate (the log cannot be written: ",
                              ": " + directory_refused + ")"),
                      pilot.log(), directory_.parent_path()));

    fs::remove(pilot.log());
    wait_for_retry();
    send(KEY_GEAR_TOGGLE);
    EXPECT_TRUE(names(between(hover(activate_area), "Activate (log: ", ")"), pilot.log(),
                      directory_.parent_path()));
    host_->stop();
    EXPECT_EQ(log_lines(pilot.log()), (Lines{"", "", aircraft_loaded(), gauge_loaded(), gear_toggle,
                                             logging_stopped, log_file_closed}));
}

// The module loaded from a folder outside the code page names itself in
// the load records by its short form. (The host loads by ANSI paths, so
// this test loads the file itself.)
using AnsiPath = WorkingDirectoryTest;

TEST_F(AnsiPath, AModuleOutsideTheAnsiCodePageIsNamedByItsShortForm) {
    const fs::path file = directory_ / cyrillic_name / fs::path(KEYWATCH_MODULE_FILE).filename();
    fs::create_directory(file.parent_path());
    fs::copy_file(KEYWATCH_MODULE_FILE, file);
    HMODULE module = LoadLibraryW(file.c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    auto* linkage = reinterpret_cast<MODULE_LINKAGE*>(
        reinterpret_cast<void*>(GetProcAddress(module, "Linkage")));
    ASSERT_NE(linkage, nullptr);
    linkage->module_init(); // no services bound: the records alone
    linkage->module_deinit();
    FreeLibrary(module);
    const Lines lines = log_lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_TRUE(names(between(lines[3], " Time= T Gauge Loaded= ", ""), file, directory_));
}

#endif

} // namespace
