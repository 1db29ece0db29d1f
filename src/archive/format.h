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
#pragma once

#define FFS_TAG "FFS?"
// Scrambling key; the mask of a byte depends only on its distance from the tag.
#define FFS_KEY "SetupSampleKey"

enum {
    FFS_TAG_SIZE = 4,
    FFS_TRAILER_SIZE = 4,
    FFS_KEY_BUFFER_SIZE = 80,
};
