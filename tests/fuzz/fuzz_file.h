// The harness the fuzz targets share: a failed check stops the run as a crash,
// which libFuzzer reports with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>

inline void fuzz_check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// An in-memory file with a path, so that the fuzzed bytes reach the code under
// test through fopen as a real file would, without touching the disk. Replaces
// the file's contents and returns its path (valid for the process).
const char* fuzz_file(const uint8_t* data, size_t size);

// Sends the log to a console that is discarded (every entry is still formatted
// and length-checked as in a real run) and lets memory grow to the limit.
void fuzz_init();
