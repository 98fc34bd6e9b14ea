// The log file, where it is, the clock that stamps its records, and the text
// of every record keywatch writes (from logformat/, which its readers share).
#pragma once

#include <cstdint>
#include <cstdio>

#include "logformat/record_formats.h"
#include "platform/platform.h"

// ---- Record formats ------------------------------------------------------------
// LOG_FILE_NAME and the RECORD_ formats, one for each kind of record, are in
// logformat/record_formats.h, which the log's readers parse by.

#define LOG_FILE_PATH "./" LOG_FILE_NAME

// ---- State ---------------------------------------------------------------------

extern FILE* log_file;         // the open log, or null
extern int64_t clock_start;    // counter value at module start
extern double clock_frequency; // counter counts per second; 0 prints every time as 0

// Where the last open of the log put it, for the gauge to tell.
enum : int32_t {
    LOG_PLACE_NONE = 0,       // no open tried yet
    LOG_PLACE_WORKING_FOLDER, // LOG_FILE_PATH, where the log has always been
    LOG_PLACE_USER_FOLDER,    // the user's folder, at log_user_path
    LOG_PLACE_UNWRITABLE,     // no log: log_failure_path and log_failure_reason say why
};
extern int32_t log_place;
extern char log_user_path[USER_PATH_SIZE];    // the log's path in the user's folder
extern char log_failure_path[USER_PATH_SIZE]; // the log that could not be opened or written
extern char log_failure_reason[REASON_SIZE];  // why
// The places (bit 1 << LOG_PLACE_...) where a write or flush of the log
// failed: later opens pass them over, since a full disk takes the open and
// refuses only the writes, until forget_failed_places().
extern uint32_t log_failed_places;
// The system's tick count (GetTickCount64, in milliseconds) when the log
// was last opened, or an open tried.
extern int64_t log_open_tick;

// Back to the values at load: the log closed and never opened, the clock
// not started. For tests; see reset_module_state().
void reset_log_file_state();

// ---- Log file ------------------------------------------------------------------

// Opens the log with mode "a" or "w" in the working folder, or, when that
// fails, in the user's folder, passing over the places in
// log_failed_places; when none opens log_file stays null. Either way
// log_place says which it was.
void open_log(const char* mode);
// Every place is tried again by the next open.
void forget_failed_places();
// Writes one record; dropped while no log is open. A write, flush or close
// the log does not take leaves it as a failed open does: the stream closed
// (what it still held is lost), log_place LOG_PLACE_UNWRITABLE with the
// path and the reason, and the place added to log_failed_places.
void write_record(const char* format, ...) KEYWATCH_PRINTF(1, 2);
void flush_all(); // every output stream of the runtime
void flush_log(); // the log alone
void close_log();

// ---- Clock ---------------------------------------------------------------------

void start_clock();
double elapsed_seconds();
