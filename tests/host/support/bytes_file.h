// Files of given bytes beside the test program, for the archive reader and
// the script loader to open.
#pragma once

#include <string>

// "Suite.Test.suffix" for the running test: CTest runs the cases of one
// program in parallel, so each keeps its files apart.
std::string test_file_name(const std::string& suffix);

// Writes `bytes` into a file `name` beside the test program; returns its path.
std::string write_bytes_file(const std::string& name, const std::string& bytes);
