// Module start and stop as the simulator drives them: the built module file
// loaded by the stand-in simulator's host, reached only through its
// exports. The logs of ordinary starts and stops are the scenarios' golden
// files; what those cannot show is here: the clock, the handler's
// registration, answers left null, a start before the services are bound,
// the table a DLL component's loader gives, and an unload without a stop
// (the fuzz harness loads the module afresh again and again).

#include <chrono>
#include <thread>

#include "sim_fixture.h"

namespace {

using sim::AircraftField;
using sim::Host;
using Lifecycle = SimTest;

// Each start restarts the clock: after a pause, the second start's records
// begin near zero again.
TEST_F(Lifecycle, EachStartRestartsTheClock) {
    host_->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    host_->stop();
    host_->start();
    host_->stop();
    std::vector<double> times = mask_times(read_log()).times;
    ASSERT_EQ(times.size(), 8u);
    EXPECT_GE(times[3], 0.3);
    EXPECT_LT(times[4], 0.3);
}

TEST_F(Lifecycle, AStartRoutineRunBeforeTheServicesAreBoundDoesNotCrash) {
    host_->start_without_services();
    // Neither registered nor asked: the module had no service table yet.
    EXPECT_EQ(host_->handler_count(), 0u);
    host_->stop();
    EXPECT_EQ(log_lines(), (Lines{"", "", aircraft_loaded("", "", ""), gauge_loaded(),
                                  logging_stopped, log_file_closed}));
}

// An answer pointer left null counts as no answer and keeps the earlier
// text; an empty answer is an answer.
TEST_F(Lifecycle, ANullAnswerKeepsTheTextAnEmptyOneReplacesIt) {
    host_->start();
    host_->stop();
    host_->answer_null_pointer(AircraftField::title);
    host_->set_answer(AircraftField::type, "");
    host_->start();
    host_->stop();
    const Lines lines = log_lines();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[2], aircraft_loaded());
    EXPECT_EQ(lines[7], aircraft_loaded("Mooney Bravo", "", "M20T"));
}

// A module loaded by a relative name still names itself by its full path in
// the load records, as Windows gives a DLL's: the loader keeps the name as
// given, and a relative one means nothing once the working folder moves.
// (The host always loads by a full name, so this test loads the file itself.)
using ModulePath = WorkingDirectoryTest;

TEST_F(ModulePath, AModuleLoadedByARelativeNameReportsItsFullPath) {
    const fs::path file = fs::path(KEYWATCH_MODULE_FILE).filename();
    fs::copy_file(KEYWATCH_MODULE_FILE, file);
    {
        const sim::LoadedModule module((fs::path(".") / file).string());
        auto* linkage = static_cast<MODULE_LINKAGE*>(module.symbol("Linkage"));
        ASSERT_NE(linkage, nullptr);
        linkage->module_init(); // no services bound: the records alone
        linkage->module_deinit();
    }
    const Lines lines = log_lines();
    ASSERT_EQ(lines.size(), 6u);
    const std::string prefix = " Time= T Gauge Loaded= ";
    ASSERT_EQ(lines[3].substr(0, prefix.size()), prefix);
    const fs::path reported = lines[3].substr(prefix.size());
    std::error_code error;
    EXPECT_TRUE(reported.is_absolute()) << reported;
    EXPECT_TRUE(fs::equivalent(reported, file, error)) << reported << ": " << error.message();
}

// Loaded as the simulator loads a DLL component: its loader leaves
// ImportTable alone, fills the exported pointer Panels (null until then) and
// calls DLLStart, which takes the table into ImportTable for every service
// after it; DLLStop, with no panel holding the module, ends it.
using DllComponent = WorkingDirectoryTest;

TEST_F(DllComponent, DLLStartTakesTheTableTheLoaderPutInPanels) {
    static int handlers = 0;
    PANELS table{};
    table.register_key_event_handler = [](KeyEventHandler, void*) { ++handlers; };
    table.unregister_key_event_handler = [](KeyEventHandler, void*) { --handlers; };
    {
        const sim::LoadedModule module(KEYWATCH_MODULE_FILE);
        auto* panels = static_cast<PANELS**>(module.symbol("Panels"));
        auto* import_table = static_cast<IMPORT_TABLE*>(module.symbol("ImportTable"));
        auto* start = reinterpret_cast<void (*)()>(module.symbol("DLLStart"));
        auto* stop = reinterpret_cast<void (*)()>(module.symbol("DLLStop"));
        ASSERT_TRUE(panels != nullptr && import_table != nullptr && start != nullptr &&
                    stop != nullptr);
        EXPECT_EQ(*panels, nullptr);
        *panels = &table;
        start();
        const PANELS* taken = import_table->panels.table; // a copy: the record is packed
        EXPECT_EQ(taken, &table);
        EXPECT_EQ(handlers, 1);
        stop();
        EXPECT_EQ(handlers, 0);
    }
    EXPECT_EQ(log_lines(), (Lines{"", "", aircraft_loaded("", "", ""), gauge_loaded(),
                                  logging_stopped, log_file_closed}));
}

// A module unloaded without its stop routine, as by FreeLibrary alone,
// flushes and closes its log: what it held is in the file at once, and the
// file is free (Windows lets no one delete a file the runtime holds open).
using Unload = WorkingDirectoryTest;

TEST_F(Unload, AModuleUnloadedWithoutItsStopRoutineClosesItsLog) {
    {
        const sim::LoadedModule module(KEYWATCH_MODULE_FILE);
        auto* linkage = static_cast<MODULE_LINKAGE*>(module.symbol("Linkage"));
        ASSERT_NE(linkage, nullptr);
        linkage->module_init(); // no services bound: the records alone, still buffered
    }
    EXPECT_EQ(log_lines(), (Lines{"", "", aircraft_loaded("", "", ""), gauge_loaded()}));
    std::error_code error;
    EXPECT_TRUE(fs::remove(log_name, error)) << error.message();
}

// Only one copy of the module is loaded at a time (keywatch-sim's own tests
// show files without Linkage refused).
TEST_F(Lifecycle, OneModuleAtATime) {
    EXPECT_THROW(Host second(KEYWATCH_MODULE_FILE), sim::HostError);
}

} // namespace
