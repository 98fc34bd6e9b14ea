// The log file and the clock: one buffered text stream on a fixed relative
// path, and seconds since module start from the high-resolution counter.
#include "log/log_file.h"

#include <cstdarg>

FILE* log_file = nullptr;
int64_t clock_start = 0;
double clock_frequency = 0.0;

void reset_log_file_state() {
    close_log();
    clock_start = 0;
    clock_frequency = 0.0;
}

// ---- Log file ------------------------------------------------------------------

void open_log(const char* mode) {
    log_file = open_text_stream(LOG_FILE_PATH, mode);
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
