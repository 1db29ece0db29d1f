// Reads a registration submission body back into its tagged fields: the
// receiving side of registration/submission.h, which documents the layout.
// Every malformed body is refused with a reason; nothing is read outside the
// given bytes.
#pragma once

#include "registration/submission.h"

enum {
    REGDECODE_ERROR_SIZE = 200,
    REGDECODE_VERSION_SIZE = 256,
    REGDECODE_FIELD_LIMIT = REGISTRATION_RECORD_LIMIT / (1 + REGISTRATION_TAG_DIGITS) + 1,
};

struct RegdecodeField {
    int tag;
    int offset; // of the value inside the record
    int length;
};

struct RegdecodeResult {
    char version[REGDECODE_VERSION_SIZE]; // the sender's version text
    int record_length;                    // N
    int encoded_length;                   // M
    unsigned crc;
    unsigned char record[REGISTRATION_RECORD_SIZE]; // unscrambled, zero after the last byte
    int field_count;
    RegdecodeField fields[REGDECODE_FIELD_LIMIT];
    char error[REGDECODE_ERROR_SIZE]; // why the body was refused
};

// Checks and decodes `length` bytes of `body`. Returns 1 with the fields in
// `result`, or 0 with the reason in `result->error`.
int regdecode_body(const char* body, int length, RegdecodeResult* result);
