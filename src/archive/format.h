// The archive that a product's installer appends behind the program image.
// The stub's reader and the maker's packer both build on this one map.
//
// L is the file's total length, T the tag's offset:
//
//   offset      length      content
//   0           image end   the program image
//   image end   T - end     not read (a builder may leave bytes here)
//   T           4           tag "FFS?"
//   T + 4       L - T - 8   payload: the scrambled file
//   L - 4       4           trailer: T as an unsigned 32-bit little-endian
//
// The reader takes everything from T + 4 to the end as the data block, so the
// trailer is descrambled with the payload and handed out behind it: callers
// receive the file followed by the four descrambled trailer bytes. There is no
// directory: the archive holds exactly one file, whatever name is asked for.
//
// A signed program (Authenticode) ends with a certificate table, which the PE's
// security directory names by file offset C and size L - C. The archive then
// ends where the table starts: the trailer is the four bytes before C, and the
// data block runs from T + 4 to C. Signing tools start the table on a multiple
// of 8 and fill up to it with zero bytes, so the packer ends its files there.
// A table that does not end the file (a builder appended the archive to a
// signed program) leaves the end at L, and the archive must start behind it.
//
//   PE headers read (little-endian; anything missing: no table, L is the end)
//   0x3C        4           offset P of the "PE\0\0" signature
//   P + 20      2           size of the optional header
//   P + 24      2           magic: 0x10B PE32, 0x20B PE32+
//   P + 24 + D - 4  4       number of data directories (D: 96 or 112)
//   P + 24 + D + 32  8      security directory: C, then L - C
//   C           8           WIN_CERTIFICATE: length, revision 0x0200, type 2
#pragma once

#define FFS_TAG "FFS?"
// Scrambling key; the mask of a byte depends only on its distance from the tag.
#define FFS_KEY "SetupSampleKey"

enum {
    FFS_TAG_SIZE = 4,
    FFS_TRAILER_SIZE = 4,
    FFS_KEY_BUFFER_SIZE = 80,
};

enum {
    FFS_PE_HEADER_POINTER = 0x3C,
    FFS_PE_DOS_HEADER_SIZE = 64,
    FFS_PE_OPTIONAL_HEADER = 24, // behind the signature and the file header
    FFS_PE_OPTIONAL_SIZE = 20,   // the optional header's size, in the file header
    FFS_PE32_MAGIC = 0x10B,
    FFS_PE32_DIRECTORIES = 96,
    FFS_PE32_PLUS_MAGIC = 0x20B,
    FFS_PE32_PLUS_DIRECTORIES = 112,
    FFS_PE_SECURITY_DIRECTORY = 4,
    FFS_PE_DIRECTORY_SIZE = 8,
    FFS_CERTIFICATE_HEADER_SIZE = 8,
    FFS_CERTIFICATE_REVISION = 0x0200,
    FFS_CERTIFICATE_SIGNED_DATA = 2,
    FFS_CERTIFICATE_ALIGNMENT = 8,
};
