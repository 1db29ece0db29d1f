// The registration submission as it travels to the maker's server, shared by
// the program that sends it and tools/regdecode that reads it.
//
// System information record (N bytes, no terminator, no count): a run of
// fields, each
//
//   offset 0   1 byte     REGISTRATION_FIELD_MARK (0x02)
//   offset 1   3 bytes    the tag, three decimal digits ("%.3d")
//   offset 4   variable   the value, trailing bytes 0x00 to 0x20 removed
//
// The record is scrambled in place: byte i is exclusive-ored with
// (i * REGISTRATION_SCRAMBLE_MULTIPLIER / REGISTRATION_SCRAMBLE_DIVISOR) & 0xFF,
// in 32-bit signed arithmetic, with truncating division.
//
// Encoded text (M = 8 + 4 * ceil(N / 3) bytes):
//
//   offset 0   8 bytes    N, "%.8X"
//   offset 8   4 per 3    one group per 3 record bytes (the last padded with
//                         zeros): the 24-bit number b0 b1 b2 as four 6-bit
//                         parts, highest first, each plus 33 ("!" to "`")
//
// Submission body (plain ASCII, no terminator; V = length of the version text):
//
//   offset 0        8 bytes   H + M, "%.8X"
//   offset 8        2 bytes   V, "%.2X"
//   offset 10       V bytes   the sender's version text
//   offset 10 + V   8 bytes   N, "%.8X"
//   offset 18 + V   8 bytes   M, "%.8X"
//   offset 26 + V   8 bytes   CRC-32 of the M encoded bytes, "%.8X"
//   offset H        M bytes   the encoded text, H = 34 + V
#pragma once

#include <climits>

enum {
    REGISTRATION_RECORD_SIZE = 20480, // the record buffer, the record's terminating zero included
    REGISTRATION_RECORD_LIMIT = REGISTRATION_RECORD_SIZE - 1, // the longest record
    REGISTRATION_FIELD_MARK = 0x02,
    REGISTRATION_TAG_DIGITS = 3,
    REGISTRATION_SCRAMBLE_MULTIPLIER = 94933,
    REGISTRATION_SCRAMBLE_DIVISOR = 600,
    REGISTRATION_GROUP_BYTES = 3,
    REGISTRATION_GROUP_CHARACTERS = 4,
    REGISTRATION_GROUP_OFFSET = 33, // "!"; the highest character is "`" (33 + 63)
    REGISTRATION_COUNT_DIGITS = 8,
    REGISTRATION_HEAD_FIXED = 34, // H without the version text
};

#define REGISTRATION_HEAD_FORMAT "%.8X%.2X%s%.8X%.8X%.8X"

// Every position of the longest record times the multiplier stays inside
// 32-bit signed range, so the keystream never depends on overflow.
static_assert(REGISTRATION_SCRAMBLE_MULTIPLIER > 0 && REGISTRATION_SCRAMBLE_DIVISOR > 0,
              "scramble constants must be positive");
static_assert(REGISTRATION_RECORD_LIMIT - 1 <= INT_MAX / REGISTRATION_SCRAMBLE_MULTIPLIER,
              "scramble products must fit 32-bit signed arithmetic");
static_assert(sizeof(int) == 4, "the keystream is defined in 32-bit arithmetic");

// Scrambles (or, applied again, unscrambles) `length` bytes in place.
// `length` is at most REGISTRATION_RECORD_LIMIT.
void registration_scramble(unsigned char* bytes, int length);

// M for a record of `count` bytes.
int registration_encoded_length(int count);

// Writes the 4 characters of one group for 3 input bytes. Returns 1.
int encode_group(const unsigned char* input, char* output);

// Writes the encoded text of `count` bytes and its terminating zero into
// `output`, whose size in bytes `*capacity` gives; on success sets
// `*capacity` to M and returns 1. Returns 0, having written nothing, when
// M + 1 bytes do not fit.
int registration_encode(const unsigned char* input, int count, char* output, int* capacity);

// Bytes that registration_body_compose needs for a record of `count` bytes,
// the terminating zero that the encoder writes included.
int registration_body_size(int count);

// Writes the submission body for `count` scrambled record bytes, with this
// program's version text, into `body` of `size` bytes and sets `*length` to
// H + M. Returns 1; a body that does not fit is a fatal stop.
int registration_body_compose(const unsigned char* record, int count, char* body, int size,
                              int* length);
