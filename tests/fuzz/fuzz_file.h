// The harness the fuzz targets share. The targets that link fuzz_support also
// get its LLVMFuzzerInitialize: the log goes to a console that is discarded
// (every entry still formatted and length-checked) and memory may grow to the limit.
#pragma once

#include <cstddef>
#include <cstdint>

// A failed check stops the run as a crash, which libFuzzer reports with its input.
inline void fuzz_check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// Replaces the contents of an in-memory file and returns its path, so that the
// bytes reach the code under test through fopen without touching the disk.
const char* fuzz_file(const uint8_t* data, size_t size);
