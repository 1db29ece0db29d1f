#include "decode.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/crc32.h"

namespace {

int refuse(RegdecodeResult* result, const char* format, ...) __attribute__((format(printf, 2, 3)));

int refuse(RegdecodeResult* result, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(result->error, sizeof result->error, format, arguments);
    va_end(arguments);
    return 0;
}

// Reads `digits` upper-case hexadecimal digits, as "%.8X" and "%.2X" write them.
int read_hex(const char* text, int digits, unsigned* value) {
    unsigned number = 0;
    for (int i = 0; i < digits; ++i) {
        char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return 0;
        }
        number = number * 16 + digit;
    }
    *value = number;
    return 1;
}

int head_number(RegdecodeResult* result, const char* body, int offset, int digits, const char* name,
                unsigned* value) {
    if (!read_hex(body + offset, digits, value)) {
        return refuse(result, "%s at body offset %d is not %d upper-case hexadecimal digits", name,
                      offset, digits);
    }
    return 1;
}

int decode_groups(const char* text, int count, RegdecodeResult* result) {
    int groups = (count + REGISTRATION_GROUP_BYTES - 1) / REGISTRATION_GROUP_BYTES;
    for (int g = 0; g < groups; ++g) {
        unsigned value = 0;
        for (int i = 0; i < REGISTRATION_GROUP_CHARACTERS; ++i) {
            value =
                (value << 6) | static_cast<unsigned>(static_cast<unsigned char>(text[g * 4 + i]) -
                                                     REGISTRATION_GROUP_OFFSET);
        }
        unsigned char bytes[REGISTRATION_GROUP_BYTES] = {static_cast<unsigned char>(value >> 16),
                                                         static_cast<unsigned char>(value >> 8),
                                                         static_cast<unsigned char>(value)};
        for (int i = 0; i < REGISTRATION_GROUP_BYTES; ++i) {
            int at = g * REGISTRATION_GROUP_BYTES + i;
            if (at < count) {
                result->record[at] = bytes[i];
            } else if (bytes[i] != 0) {
                return refuse(result, "the last group's padding byte %d is 0x%02X, not zero", i,
                              bytes[i]);
            }
        }
    }
    result->record[count] = 0;
    return 1;
}

int is_digit(unsigned char c) {
    return c >= '0' && c <= '9';
}

int split_fields(RegdecodeResult* result) {
    const unsigned char* record = result->record;
    int count = result->record_length;
    result->field_count = 0;
    int at = 0;
    while (at < count) {
        if (record[at] != REGISTRATION_FIELD_MARK || count - at < 1 + REGISTRATION_TAG_DIGITS ||
            !is_digit(record[at + 1]) || !is_digit(record[at + 2]) || !is_digit(record[at + 3])) {
            return refuse(result, "record byte %d: a field without its tag", at);
        }
        RegdecodeField* field = &result->fields[result->field_count++];
        field->tag =
            (record[at + 1] - '0') * 100 + (record[at + 2] - '0') * 10 + record[at + 3] - '0';
        field->offset = at + 1 + REGISTRATION_TAG_DIGITS;
        int end = field->offset;
        while (end < count && record[end] != REGISTRATION_FIELD_MARK) {
            ++end;
        }
        field->length = end - field->offset;
        at = end;
    }
    return 1;
}

} // namespace

int regdecode_body(const char* body, int length, RegdecodeResult* result) {
    result->error[0] = '\0';
    result->version[0] = '\0';
    result->record_length = 0;
    result->encoded_length = 0;
    result->crc = 0;
    result->field_count = 0;
    if (length < REGISTRATION_HEAD_FIXED) {
        return refuse(result, "body of %d bytes is shorter than the shortest head (%d bytes)",
                      length, REGISTRATION_HEAD_FIXED);
    }
    unsigned total = 0;
    unsigned version_length = 0;
    if (!head_number(result, body, 0, 8, "the body length", &total) ||
        !head_number(result, body, 8, 2, "the version length", &version_length)) {
        return 0;
    }
    if (total != static_cast<unsigned>(length)) {
        return refuse(result, "the head announces a body of %u bytes, but it has %d", total,
                      length);
    }
    int head_length = REGISTRATION_HEAD_FIXED + static_cast<int>(version_length);
    if (length < head_length) {
        return refuse(result, "body of %d bytes is shorter than its head (%d bytes)", length,
                      head_length);
    }
    for (unsigned i = 0; i < version_length; ++i) {
        unsigned char c = static_cast<unsigned char>(body[10 + i]);
        if (c < 0x20 || c > 0x7E) {
            return refuse(result, "the version text holds the byte 0x%02X", c);
        }
        result->version[i] = static_cast<char>(c);
    }
    result->version[version_length] = '\0';
    int at = 10 + static_cast<int>(version_length);
    unsigned count = 0;
    unsigned encoded = 0;
    if (!head_number(result, body, at, 8, "the record length", &count) ||
        !head_number(result, body, at + 8, 8, "the encoded length", &encoded) ||
        !head_number(result, body, at + 16, 8, "the CRC-32", &result->crc)) {
        return 0;
    }
    if (count > REGISTRATION_RECORD_LIMIT) {
        return refuse(result, "a record of %u bytes is longer than the longest record (%d bytes)",
                      count, REGISTRATION_RECORD_LIMIT);
    }
    int expected = registration_encoded_length(static_cast<int>(count));
    if (encoded != static_cast<unsigned>(expected)) {
        return refuse(result, "an encoded length of %u does not fit a record of %u bytes (%d)",
                      encoded, count, expected);
    }
    if (length - head_length != expected) {
        return refuse(result, "the encoded text has %d bytes, the head announces %d",
                      length - head_length, expected);
    }
    const char* text = body + head_length;
    unsigned crc = crc32_block(text, expected);
    if (crc != result->crc) {
        return refuse(result, "the CRC-32 of the encoded text is %08X, the head announces %08X",
                      crc, result->crc);
    }
    unsigned announced = 0;
    if (!head_number(result, body, head_length, 8, "the encoded text's record length",
                     &announced)) {
        return 0;
    }
    if (announced != count) {
        return refuse(result, "the encoded text announces a record of %u bytes, the head %u",
                      announced, count);
    }
    for (int i = REGISTRATION_COUNT_DIGITS; i < expected; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < REGISTRATION_GROUP_OFFSET || c > REGISTRATION_GROUP_OFFSET + 63) {
            return refuse(result, "the byte 0x%02X at body offset %d lies outside \"!\" to \"`\"",
                          c, head_length + i);
        }
    }
    result->record_length = static_cast<int>(count);
    result->encoded_length = expected;
    if (!decode_groups(text + REGISTRATION_COUNT_DIGITS, result->record_length, result)) {
        return 0;
    }
    registration_scramble(result->record, result->record_length);
    return split_fields(result);
}
