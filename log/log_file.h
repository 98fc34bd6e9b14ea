// The log file, the clock that stamps its records, and the text of every
// record keywatch writes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

// ---- Record formats ------------------------------------------------------------
// Each record starts with a line feed and none ends with one, so the file
// never ends with a line break. Seconds print as fixed six-decimal values: the
// %Lf records take a long double, the %f records a double.

#define LOG_FILE_PATH "./Key_Events_Sent.log"

#define RECORD_EVENT              "\n Time=%Lf; id=%d; event_in=%s; evdata=%d"
#define RECORD_USER_DEFINED_EVENT "\n Time= %Lf id= %d event_in= %s evdata= %d"
#define RECORD_AIRCRAFT_LOADED    "\n\n Time=%f; Aircraft Loaded Title=%s; Type=%s; Model=%s"
#define RECORD_GAUGE_LOADED       "\n Time= %Lf Gauge Loaded= %s"
#define RECORD_LOGGING_STOPPED    "\n Time= %Lf Logging Stopped"
#define RECORD_LOG_FILE_CLOSED    "\n Time= %Lf Log File Closed"
#define RECORD_GAUGE_REFRESHED    "\n Time= %Lf Gauge Refreshed= %s"
#define RECORD_AIRCRAFT_TITLE     "\n Time= %f Aircraft Title= %s Type= %s Model= %s"
#define RECORD_LOGGING_STARTED    "\n Time= %f Logging Started"

// ---- State ---------------------------------------------------------------------

extern FILE* log_file;         // the open log, or null
extern int64_t clock_start;    // counter value at module start
extern double clock_frequency; // counter counts per second; 0 prints every time as 0

// Back to the values at load: the log closed, the clock not started. For
// tests; see reset_module_state().
void reset_log_file_state();

// ---- Log file ------------------------------------------------------------------

// Opens the log with mode "a" or "w"; a failed open leaves log_file null.
void open_log(const char* mode);
// Writes one record; dropped while no log is open. Errors are ignored.
void write_record(const char* format, ...) KEYWATCH_PRINTF(1, 2);
void flush_all(); // every output stream of the runtime
void flush_log(); // the log alone
void close_log();

// ---- Clock ---------------------------------------------------------------------

void start_clock();
double elapsed_seconds();
