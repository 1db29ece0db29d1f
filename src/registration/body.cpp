#include <cstring>

#include "core/crc32.h"
#include "core/log.h"
#include "core/text.h"
#include "driver/identity.h"
#include "registration/submission.h"

namespace {

// The head is plain ASCII of a fixed width for a given version text, whose
// length travels in two hexadecimal digits.
static_assert(sizeof(PROGRAM_VERSION) - 1 < 256, "version text too long for its length digits");
const int g_head_size = REGISTRATION_HEAD_FIXED + 256;

int head_format(char* head, unsigned total, unsigned count, unsigned encoded, unsigned crc) {
    unsigned version_length = static_cast<unsigned>(text_length(PROGRAM_VERSION));
    text_format(head, g_head_size, REGISTRATION_HEAD_FORMAT, total, version_length, PROGRAM_VERSION,
                count, encoded, crc);
    return text_length(head);
}

} // namespace

int registration_body_size(int count) {
    return REGISTRATION_HEAD_FIXED + text_length(PROGRAM_VERSION) +
           registration_encoded_length(count) + 1;
}

int registration_body_compose(const unsigned char* record, int count, char* body, int size,
                              int* length) {
    CORE_ASSERT_POINTER(body);
    CORE_ASSERT_POINTER(length);
    char head[g_head_size];
    // The numbers have a fixed width: zeros give the real head's length.
    int head_length = head_format(head, 0, 0, 0, 0);
    int capacity = size - head_length;
    if (capacity < 0 || !registration_encode(record, count, body + head_length, &capacity)) {
        CORE_ABORT("Encoder failed (%d / %d)!\n", count, capacity);
    }
    unsigned crc = crc32_block(body + head_length, capacity);
    head_format(head, static_cast<unsigned>(head_length + capacity), static_cast<unsigned>(count),
                static_cast<unsigned>(capacity), crc);
    memcpy(body, head, static_cast<size_t>(head_length));
    *length = head_length + capacity;
    return 1;
}
