// The host side of the log: the maker's tools and the unit tests. The fatal
// box becomes a line on standard error so that tests can read it.
#include <pthread.h>
#include <unistd.h>

#include <cstdio>

#include "log_platform.h"

namespace {

pthread_mutex_t g_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

} // namespace

void* log_platform_lock_create() {
    return &g_lock;
}

void log_platform_lock_take(void* lock) {
    pthread_mutex_lock(static_cast<pthread_mutex_t*>(lock));
}

void log_platform_lock_release(void* lock) {
    pthread_mutex_unlock(static_cast<pthread_mutex_t*>(lock));
}

void log_platform_lock_close(void*) {}

const char* log_platform_command_line() {
    return "";
}

void log_platform_module_path(char* buffer, int size) {
    ssize_t length = readlink("/proc/self/exe", buffer, static_cast<size_t>(size) - 1);
    buffer[length > 0 ? length : 0] = '\0';
}

int log_platform_console_open(const char*) {
    return 1;
}

void log_platform_console_write(const char* text, int length) {
    fwrite(text, 1, static_cast<size_t>(length), stdout);
    fflush(stdout);
}

void log_platform_fatal_box(const char* text, const char* caption) {
    fprintf(stderr, "[%s] %s", caption, text);
    fflush(stderr);
}
