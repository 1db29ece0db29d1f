#include "registration/submission.h"

#include <cstring>

#include "core/log.h"
#include "core/text.h"

int registration_encoded_length(int count) {
    int groups = (count + REGISTRATION_GROUP_BYTES - 1) / REGISTRATION_GROUP_BYTES;
    return REGISTRATION_COUNT_DIGITS + REGISTRATION_GROUP_CHARACTERS * groups;
}

int encode_group(const unsigned char* input, char* output) {
    unsigned value = (unsigned{input[0]} << 16) | (unsigned{input[1]} << 8) | input[2];
    for (int i = REGISTRATION_GROUP_CHARACTERS - 1; i >= 0; --i) {
        output[i] = static_cast<char>((value & 0x3F) + REGISTRATION_GROUP_OFFSET);
        value >>= 6;
    }
    return 1;
}

int registration_encode(const unsigned char* input, int count, char* output, int* capacity) {
    CORE_ASSERT_POINTER(input);
    CORE_ASSERT_POINTER(output);
    CORE_ASSERT_POINTER(capacity);
    CORE_ASSERT(count >= 0 && count <= REGISTRATION_RECORD_LIMIT, "Encode length %d\n", count);
    int length = registration_encoded_length(count);
    if (length + 1 > *capacity) {
        return 0;
    }
    char* cursor = output + REGISTRATION_COUNT_DIGITS;
    int left = count;
    for (; left > REGISTRATION_GROUP_BYTES; left -= REGISTRATION_GROUP_BYTES) {
        encode_group(input, cursor);
        input += REGISTRATION_GROUP_BYTES;
        cursor += REGISTRATION_GROUP_CHARACTERS;
    }
    if (left > 0) {
        // A record whose length is a multiple of 3 also ends here, with 3.
        unsigned char last[REGISTRATION_GROUP_BYTES] = {0, 0, 0};
        memcpy(last, input, static_cast<size_t>(left));
        encode_group(last, cursor);
        cursor += REGISTRATION_GROUP_CHARACTERS;
    }
    *cursor = '\0';
    char digits[REGISTRATION_COUNT_DIGITS + 1];
    text_format(digits, sizeof digits, "%.8X", static_cast<unsigned>(count));
    memcpy(output, digits, REGISTRATION_COUNT_DIGITS);
    *capacity = length;
    return 1;
}
