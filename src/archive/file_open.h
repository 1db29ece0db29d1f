// Opening the executable that carries the archive.
#pragma once

#include <cstdio>

// Opens `path` for reading bytes, or returns null. The relocated copy runs
// from a file that is held open for deletion once the last process using it
// ends, so the opening shares deletion with that handle.
FILE* archive_file_open(const char* path);
