#include "fuzz_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/log.h"

const char* fuzz_file(const uint8_t* data, size_t size) {
    static int descriptor = -1;
    static char path[64];
    if (descriptor < 0) {
        descriptor = memfd_create("fuzz_input", 0);
        if (descriptor < 0) {
            perror("memfd_create");
            abort();
        }
        snprintf(path, sizeof path, "/proc/self/fd/%d", descriptor);
    }
    if (ftruncate(descriptor, 0) != 0 ||
        (size > 0 && pwrite(descriptor, data, size, 0) != static_cast<ssize_t>(size))) {
        perror("fuzz input");
        abort();
    }
    return path;
}

void fuzz_quiet_log() {
    if (!freopen("/dev/null", "w", stdout)) {
        abort();
    }
    log_open("debug.log", LOG_CONSOLE);
}
