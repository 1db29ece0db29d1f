// Files of the test's own beside the test program: the log, opened into one and
// read back, and files of given bytes for the code under test to open.
#pragma once

#include <string>

std::string log_file_path(const std::string& name);
std::string read_file(const std::string& path);

// Opens the log with `mode` into a fresh file `name`; returns its path.
std::string open_test_log(const std::string& name, int mode);

// "Suite.Test.suffix" for the running test, so that no two tests share a file.
std::string test_file_name(const std::string& suffix);

// Writes `bytes` into a file `name` beside the test program; returns its path.
std::string write_bytes_file(const std::string& name, const std::string& bytes);
