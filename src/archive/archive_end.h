// Where the archive ends: at the end of the file, or, in a signed program, where
// the certificate table that ends the file starts (layout in format.h). The
// stub's reader and the maker's packer both ask these functions.
#pragma once

// A file of `length` bytes, read through `read`: exactly `count` bytes at
// `offset`, which lie inside the file, or 0.
struct FfsSource {
    int (*read)(void* context, unsigned long offset, unsigned char* buffer, int count);
    void* context;
    unsigned long length;
};

struct FfsArchiveEnd {
    unsigned long offset;     // where the archive's trailer ends
    unsigned long directory;  // the security directory's entry, 0 when the file has none
    unsigned long table;      // the certificate table's offset
    unsigned long table_size; // and size, 0 when the file has none
};

// Reads the PE headers, if the file has them, checking every offset and size
// against the file's length. The archive ends where a certificate table that
// ends the file starts, else at the file's end. Returns 0 when the security
// directory names anything but a certificate table inside the file; `end`
// then holds what it names.
int ffs_archive_end(const FfsSource* source, FfsArchiveEnd* end);

// Whether an archive whose tag is at `tag` is clear of the certificate table:
// one that a builder appended behind a signed program must start behind it.
int ffs_archive_clear(const FfsArchiveEnd* end, unsigned long tag);
