// Files of given bytes beside the test program, for the code under test to open.
#pragma once

#include <string>

// "Suite.Test.suffix" for the running test, so that no two tests share a file.
std::string test_file_name(const std::string& suffix);

// Writes `bytes` into a file `name` beside the test program; returns its path.
std::string write_bytes_file(const std::string& name, const std::string& bytes);
