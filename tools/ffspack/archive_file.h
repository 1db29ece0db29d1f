// The archive behind an executable, as the packer writes and finds it (the
// layout is archive/format.h, shared with the stub's reader).
#pragma once

#include <cstdint>
#include <string>

#include "archive/archive_end.h"

enum ArchiveState {
    ARCHIVE_NONE,          // the trailer is 0 or points at or past the archive's end
    ARCHIVE_NO_TAG,        // the trailer points inside the file, but no tag with data is there
    ARCHIVE_DAMAGED_TABLE, // a certificate table outside the file, or in the archive's way
    ARCHIVE_FOUND,
};

struct ArchiveLocation {
    ArchiveState state;
    uint32_t trailer;  // the four bytes before the archive's end, little-endian
    FfsArchiveEnd end; // where the archive ends: the file's end or its certificate table
};

// Finds the archive as the stub's reader does, in a signed file too.
ArchiveLocation ffspack_locate(const std::string& file);

// `image` followed by the tag, the scrambled script and the trailer. Zero
// bytes may follow the script so that none of the four trailer bytes, as the
// stub descrambles them, is a command mark, and so that the file ends on a
// multiple of 8: a signing tool then puts its certificate table right behind
// the trailer, with no padding of its own between them. Fails only for an
// empty image or one too large for a 32-bit trailer.
bool ffspack_pack(const std::string& image, const std::string& script, std::string* packed,
                  std::string* error);

// The program under a file's archive and signature, to pack anew: a signature
// cannot cover a new archive, so the certificate table goes and the security
// directory is emptied.
std::string ffspack_image(const std::string& file, const ArchiveLocation& location);

// The descrambled data block of a found archive: the script, any padding and
// the four trailer bytes, as the stub's reader hands them out.
std::string ffspack_data_block(const std::string& file, const ArchiveLocation& location);

// Why the file at `path` carries no archive that the stub could read.
std::string ffspack_no_archive(const std::string& path, const ArchiveLocation& location);

// The stored script that the program `file` (read from `path`) carries, or
// why it carries none.
bool ffspack_embedded_script(const std::string& path, const std::string& file, std::string* script,
                             std::string* error);

// Whether `signed_file`, which a signing command made of `packed` (to be
// written to `path`), still carries the same archive where the stub finds
// it, right before a certificate table that ends the file.
bool ffspack_signed_intact(const std::string& path, const std::string& packed,
                           const std::string& signed_file, std::string* error);
