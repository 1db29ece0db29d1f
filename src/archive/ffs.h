// The archive reader ("Flat/Fast File System"): finds the archive behind an
// executable, reads it whole and descrambles it once (layout in format.h).
//
// Program-wide state: one data block, loaded by ffs_open and freed by
// ffs_close. Every operation returns 1 or 0; null pointers are fatal stops.
#pragma once

// Finds, reads and descrambles the archive of the executable at `path`.
// Each failure writes its own log line and returns 0.
int ffs_open(const char* path);

// Frees the data block if there is one. Returns 1.
int ffs_close();

// With an archive loaded: the data block's length, whatever the name. Without
// one: the size of the file `name` in the file system, 0 when it is missing.
int ffs_file_size(const char* name, int* size);

// With an archive loaded: the first `size` bytes of the data block (never more
// than it holds), whatever the name. Without one: `size` bytes of the file.
int ffs_read_file(const char* name, void* buffer, int size);
