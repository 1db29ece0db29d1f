// An in-memory file with a path, so that the fuzzed bytes reach the code
// under test through fopen as a real file would, without touching the disk.
#pragma once

#include <cstddef>
#include <cstdint>

// Replaces the file's contents and returns its path (valid for the process).
const char* fuzz_file(const uint8_t* data, size_t size);

// Sends the log to a console that is discarded: every entry is formatted and
// length-checked as in a real run, and nothing is written.
void fuzz_quiet_log();
