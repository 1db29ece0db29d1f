// The archive behind an executable, as the packer writes and finds it (the
// layout is archive/format.h, shared with the stub's reader).
#pragma once

#include <cstdint>
#include <string>

enum ArchiveState {
    ARCHIVE_NONE,   // the trailer is 0 or points at or past the end of the file
    ARCHIVE_NO_TAG, // the trailer points inside the file, but no tag with data is there
    ARCHIVE_FOUND,
};

struct ArchiveLocation {
    ArchiveState state;
    uint32_t trailer; // the last four bytes of the file, little-endian
};

ArchiveLocation ffspack_locate(const std::string& file);

// `image` followed by the tag, the scrambled script and the trailer. Zero
// bytes may follow the script so that none of the four trailer bytes, as the
// stub descrambles them, is a command mark. Fails only for an empty image or
// one too large for a 32-bit trailer.
bool ffspack_pack(const std::string& image, const std::string& script, std::string* packed,
                  std::string* error);

// The descrambled data block of a found archive: the script, any padding and
// the four trailer bytes, as the stub's reader hands them out.
std::string ffspack_data_block(const std::string& file, const ArchiveLocation& location);
