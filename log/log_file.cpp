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
char log_failure_path[USER_PATH_SIZE] = "";
char log_failure_reason[REASON_SIZE] = "";
uint32_t log_failed_places = 0;
int64_t log_open_tick = 0;

void reset_log_file_state() {
    close_log();
    clock_start = 0;
    clock_frequency = 0.0;
    log_place = LOG_PLACE_NONE;
    log_user_path[0] = '\0';
    log_failure_path[0] = '\0';
    log_failure_reason[0] = '\0';
    log_failed_places = 0;
    log_open_tick = 0;
}

// ---- Log file ------------------------------------------------------------------

static bool failed_at(int32_t place) {
    return (log_failed_places & (1u << place)) != 0;
}

// The working folder first, always, as users and their tools look for the
// log there. A simulator installed under Program Files may not write there,
// though; the user's own folder for the simulator's files is the one place
// it always may. Both are tried on every open but where a write failed, so
// the log returns to the working folder once that can be opened again.
// When every place fails, the reason shown is the user folder's; the
// working folder's failure to open is its cue, not news.
void open_log(const char* mode) {
    log_open_tick = (int64_t)GetTickCount64();
    log_file = nullptr;
    if (!failed_at(LOG_PLACE_WORKING_FOLDER)) {
        log_file = open_text_stream(LOG_FILE_PATH, mode);
        if (log_file != nullptr) {
            log_place = LOG_PLACE_WORKING_FOLDER;
            return;
        }
    }
    if (!failed_at(LOG_PLACE_USER_FOLDER)) {
        log_file = open_user_text_stream(LOG_FILE_NAME, mode, log_user_path, log_failure_reason);
        if (log_file != nullptr) {
            log_place = LOG_PLACE_USER_FOLDER;
            return;
        }
        snprintf(log_failure_path, sizeof log_failure_path, "%s", log_user_path);
    }
    log_place = LOG_PLACE_UNWRITABLE; // what failed last still says why
}

void forget_failed_places() {
    log_failed_places = 0;
}

// The log did not take a write: why, and where, before the stream goes.
static void note_write_failure() {
    describe_stream_failure(log_failure_reason);
    if (log_place == LOG_PLACE_USER_FOLDER)
        snprintf(log_failure_path, sizeof log_failure_path, "%s", log_user_path);
    else
        working_folder_path(LOG_FILE_NAME, log_failure_path);
    log_failed_places |= 1u << log_place;
    log_place = LOG_PLACE_UNWRITABLE;
}

// A write or flush that failed: the stream is closed as if it had never
// opened. Its close fails as well, and says nothing new.
static void drop_log() {
    note_write_failure();
    fclose(log_file);
    log_file = nullptr;
}

void write_record(const char* format, ...) {
    if (log_file == nullptr)
        return;
    va_list args;
    va_start(args, format);
    const int written = vfprintf(log_file, format, args);
    va_end(args);
    if (written < 0)
        drop_log();
}

// The log's error flag tells whether it was among the streams that failed.
void flush_all() {
    fflush(nullptr);
    if (log_file != nullptr && ferror(log_file))
        drop_log();
}

void flush_log() {
    if (log_file != nullptr && fflush(log_file) != 0)
        drop_log();
}

void close_log() {
    if (log_file == nullptr)
        return;
    const int closed = fclose(log_file);
    log_file = nullptr;
    if (closed != 0)
        note_write_failure();
}

// ---- Clock ---------------------------------------------------------------------

void start_clock() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    clock_start = value.QuadPart;
    QueryPerformanceFrequency(&value);
    clock_frequency = (double)value.QuadPart;
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
