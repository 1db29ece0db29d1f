#include "memory.h"

#include <cstdlib>
#include <cstring>

#include "log.h"

namespace {

const unsigned char g_guard = 0xCC;
const int g_guard_size = 4;

struct Accounting {
    int live_blocks;
    int bytes_in_use;
    int limit;
    int peak_blocks;
    int peak_bytes;
};

struct QuickMemory {
    int size;
    char* base;
    char* cursor;
    char* frame_end;
    long long largest_frame;
    char* high_water;
};

Accounting g_memory;
QuickMemory g_quick;

long long rounded_size(int size) {
    return (static_cast<long long>(size) + 8 + 3) & ~3LL;
}

int has_guard(const unsigned char* at) {
    for (int i = 0; i < g_guard_size; ++i) {
        if (at[i] != g_guard) {
            return 0;
        }
    }
    return 1;
}

// The heap block also carries the rounded size in a word ahead of the leading
// guard, so that a free with the wrong size is caught from the record instead
// of reading past the block.
const int g_header = 4;

[[noreturn]] void memory_abort(const char* file, int line, const char* format, int a, int b) {
    log_set_where(file, line);
    log_abort(format, a, b);
}

} // namespace

int mem_init(int limit, int quick_size) {
    int debug = log_mode() & LOG_DEBUG;
    if (debug) {
        log_section("Memory Init");
    }
    g_memory = Accounting{0, 0, limit, 0, 0};
    qmem_init(quick_size);
    if (debug) {
        if (limit == MEM_LIMIT_MAXIMUM) {
            log_printf("Memory Initialized (Maximum)\n");
        } else {
            log_printf("Memory Initialized (limit %dk)\n", limit / 1024);
        }
        log_section(nullptr);
    }
    return 1;
}

void* mem_alloc(int size, const char* file, int line) {
    long long rounded = rounded_size(size);
    core_lock();
    if (size <= 0) {
        memory_abort(file, line, "Invalid Memory Size (%d)\n", size, 0);
    }
    if (g_memory.bytes_in_use + rounded > g_memory.limit) {
        log_set_where(file, line);
        log_abort("Memory exceeds limit ((%d + %d) / %d)\n", g_memory.bytes_in_use,
                  static_cast<int>(rounded), g_memory.limit);
    }
    unsigned char* heap =
        static_cast<unsigned char*>(malloc(static_cast<size_t>(rounded) + g_header));
    if (!heap) {
        memory_abort(file, line, "No Memory available (%d / %d)\n", size,
                     static_cast<int>(rounded));
    }
    int block_size = static_cast<int>(rounded);
    memcpy(heap, &block_size, sizeof block_size);
    unsigned char* block = heap + g_header;

    g_memory.live_blocks += 1;
    g_memory.bytes_in_use += block_size;
    if (g_memory.live_blocks > g_memory.peak_blocks) {
        g_memory.peak_blocks = g_memory.live_blocks;
    }
    if (g_memory.bytes_in_use > g_memory.peak_bytes) {
        g_memory.peak_bytes = g_memory.bytes_in_use;
    }

    memset(block, g_guard, g_guard_size);
    memset(block + g_guard_size, 0, static_cast<size_t>(block_size - 2 * g_guard_size));
    memset(block + block_size - g_guard_size, g_guard, g_guard_size);
    core_unlock();
    return block + g_guard_size;
}

int mem_free(void** variable, int size, const char* file, int line) {
    long long rounded = rounded_size(size);
    core_lock();
    if (size <= 0) {
        memory_abort(file, line, "Invalid Memory Size (%d)\n", size, 0);
    }
    if (!variable || !*variable) {
        memory_abort(file, line, "No Memory address to free (%d / %d)\n", size,
                     static_cast<int>(rounded));
    }
    unsigned char* block = static_cast<unsigned char*>(*variable) - g_guard_size;
    if (!has_guard(block)) {
        memory_abort(file, line, "Memory corrupt before (%d)\n", size, 0);
    }
    unsigned char* heap = block - g_header;
    int block_size = 0;
    memcpy(&block_size, heap, sizeof block_size);
    if (block_size != rounded || !has_guard(block + block_size - g_guard_size)) {
        memory_abort(file, line, "Memory corrupt after (%d)\n", size, 0);
    }
    g_memory.bytes_in_use -= block_size;
    g_memory.live_blocks -= 1;
    free(heap);
    *variable = nullptr;
    core_unlock();
    return 1;
}

int mem_report() {
    int debug = log_mode() & LOG_DEBUG;
    if (debug) {
        log_section("Memory Remove");
    }
    qmem_shutdown();
    if (debug) {
        log_printf("Maximum Memory in use (%d / %dk)\n", g_memory.peak_blocks,
                   g_memory.peak_bytes / 1024);
    }
    if (g_memory.bytes_in_use != 0) {
        if (g_memory.bytes_in_use < 1024) {
            log_printf("Not all memory was free'd (%d / %db)\n", g_memory.live_blocks,
                       g_memory.bytes_in_use);
        } else {
            log_printf("Not all memory was free'd (%d / %dk)\n", g_memory.live_blocks,
                       g_memory.bytes_in_use / 1024);
        }
    }
    if (debug) {
        log_section(nullptr);
    }
    return 1;
}

int qmem_init(int size) {
    if (size == MEM_LIMIT_MAXIMUM) {
        CORE_ABORT("Quickmemory size is invalid!\n");
    }
    g_quick = QuickMemory{size, nullptr, nullptr, nullptr, 0, nullptr};
    if (size != 0) {
        g_quick.base = static_cast<char*>(MEM_ALLOC(size));
    }
    g_quick.cursor = g_quick.base;
    g_quick.high_water = g_quick.base;
    qmem_new_frame();
    if (log_mode() & LOG_DEBUG) {
        if (size == 0) {
            log_printf("Quickmemory Initialized (Disabled)\n");
        } else {
            log_printf("Quickmemory Initialized (%dk)\n", size / 1024);
        }
    }
    return 1;
}

int qmem_new_frame() {
    core_lock();
    long long used = g_quick.cursor - g_quick.base;
    if (used > g_quick.largest_frame) {
        g_quick.largest_frame = used;
    }
    g_quick.cursor = g_quick.base;
    g_quick.frame_end = g_quick.base ? g_quick.base + g_quick.size : nullptr;
    core_unlock();
    return 1;
}

int qmem_shutdown() {
    g_quick.cursor = g_quick.base;
    if ((log_mode() & LOG_DEBUG) && g_quick.base) {
        log_printf("Quick Memory size was set to (%dk)\n", g_quick.size / 1024);
        log_printf("Maximum Quick Memory in use (%dk)  Largest Frame (%dk)\n",
                   static_cast<int>((g_quick.high_water - g_quick.base) / 1024),
                   static_cast<int>(g_quick.largest_frame / 1024));
    }
    if (g_quick.size > 0) {
        MEM_RETURN(g_quick.base, g_quick.size);
    }
    return 1;
}
