#include "fuzz_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/log.h"
#include "core/memory.h"

const char* fuzz_file(const uint8_t* data, size_t size) {
    static const int descriptor = memfd_create("fuzz_input", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
    fuzz_check(descriptor >= 0 && ftruncate(descriptor, 0) == 0 &&
               (size == 0 || pwrite(descriptor, data, size, 0) == static_cast<ssize_t>(size)));
    return path.c_str();
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_check(freopen("/dev/null", "w", stdout) != nullptr);
    log_open("debug.log", LOG_CONSOLE);
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    return 0;
}
