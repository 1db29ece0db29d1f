// Diagnostics log, assertions and fatal stops, and the core lock.
//
// Every operation returns 1; the fatal ones never return. A check is always a
// pair: log_where (which takes the core lock and records the caller's source
// location) followed by exactly one of log_assert, log_assert_pointer or
// log_abort (which release the lock, or stop the program). The CORE_* macros
// below make the pair with the calling statement's location.
#pragma once

#include <cstdarg>

enum {
    LOG_CONSOLE = 1, // "-window": entries also go to a console window
    LOG_FILE = 2,    // "-debug": entries are appended to the log file
    LOG_DEBUG = 4,   // "-debug": banner, memory sections and reports
    LOG_APPEND = 8,  // "-append": the log file is not emptied at opening
    LOG_QUIET = 16,  // "-Quiet": no box for anyone, not even for a fatal stop
};

enum { LOG_ENTRY_LIMIT = 4096, LOG_PATH_SIZE = 320 };

#define CORE_LIBRARY_VERSION "0.33"

#if defined(__GNUC__)
#define LOG_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define LOG_PRINTF_LIKE(f, a)
#endif

int log_options(int* mode, const char* text);
int log_open(const char* name, int mode);
int log_close();
int log_mode();
int log_printf(const char* format, ...) LOG_PRINTF_LIKE(1, 2);
int log_section(const char* name);
int log_where(const char* file, int line);
int log_set_where(const char* file, int line);
int log_assert(int condition, const char* format, ...) LOG_PRINTF_LIKE(2, 3);
int log_assert_pointer(const void* pointer);
[[noreturn]] void log_abort(const char* format, ...) LOG_PRINTF_LIKE(1, 2);
int core_lock();
int core_unlock();

// A check that holds needs no location, so it skips the lock: a mutex costs
// far more than the test itself, and checks run for every byte of real work.
#define CORE_ASSERT_POINTER(p)                                                                     \
    ((p) != nullptr ? 1 : (log_where(__FILE__, __LINE__), log_assert_pointer(p)))
#define CORE_ASSERT(condition, ...)                                                                \
    ((condition) ? 1 : (log_where(__FILE__, __LINE__), log_assert(0, __VA_ARGS__)))
#define CORE_ABORT(...) (log_where(__FILE__, __LINE__), log_abort(__VA_ARGS__))
