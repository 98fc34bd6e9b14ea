// The log file and the clock: one buffered text stream, in the working
// folder or else in the user's folder, and seconds since module start from
// the high-resolution counter.
#include "log/log_file.h"

#include <cstdarg>

FILE* log_file = nullptr;
int64_t clock_start = 0;
double clock_frequency = 0.0;
int32_t log_place = LOG_PLACE_NONE;
char log_user_path[USER_PATH_SIZE] = "";
char log_failure_reason[REASON_SIZE] = "";
double log_open_time = LOG_NEVER_OPENED;

void reset_log_file_state() {
    close_log();
    clock_start = 0;
    clock_frequency = 0.0;
    log_place = LOG_PLACE_NONE;
    log_user_path[0] = '\0';
    log_failure_reason[0] = '\0';
    log_open_time = LOG_NEVER_OPENED;
}

// ---- Log file ------------------------------------------------------------------

// The working folder first, always, as users and their tools look for the
// log there. A simulator installed under Program Files may not write there,
// though; the user's own folder for the simulator's files is the one place
// it always may. Both are tried on every open, so the log returns to the
// working folder once that can be written again.
void open_log(const char* mode) {
    log_open_time = elapsed_seconds();
    log_file = open_text_stream(LOG_FILE_PATH, mode);
    if (log_file != nullptr) {
        log_place = LOG_PLACE_WORKING_FOLDER;
        return;
    }
    log_file = open_user_text_stream(LOG_FILE_NAME, mode, log_user_path, log_failure_reason);
    log_place = log_file != nullptr ? LOG_PLACE_USER_FOLDER : LOG_PLACE_UNWRITABLE;
}

void write_record(const char* format, ...) {
    if (log_file == nullptr)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(log_file, format, args);
    va_end(args);
}

void flush_all() {
    fflush(nullptr);
}

void flush_log() {
    if (log_file != nullptr)
        fflush(log_file);
}

void close_log() {
    if (log_file == nullptr)
        return;
    fclose(log_file);
    log_file = nullptr;
}

// ---- Clock ---------------------------------------------------------------------

void start_clock() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    clock_start = value.QuadPart;
    QueryPerformanceFrequency(&value);
    clock_frequency = (double)value.QuadPart;
    log_open_time = LOG_NEVER_OPENED; // a reading of the clock before is no time now
}

double elapsed_seconds() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Subtract as unsigned: a counter that wrapped must not overflow a signed type.
    int64_t ticks = (int64_t)((uint64_t)now.QuadPart - (uint64_t)clock_start);
    if (clock_frequency == 0.0)
        return 0.0;
    return (double)ticks / clock_frequency;
}
