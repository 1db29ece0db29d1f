// Opens the log into a file of the test's own beside the test program, and
// reads back what was written.
#pragma once

#include <string>

std::string log_file_path(const std::string& name);
std::string read_file(const std::string& path);

// Opens the log with `mode` into a fresh file `name`; returns its path.
std::string open_test_log(const std::string& name, int mode);
