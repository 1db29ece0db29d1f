#include "registration/submission.h"

#include "core/log.h"

void registration_scramble(unsigned char* bytes, int length) {
    CORE_ASSERT_POINTER(bytes);
    CORE_ASSERT(length >= 0 && length <= REGISTRATION_RECORD_LIMIT, "Scramble length %d\n", length);
    for (int i = 0; i < length; ++i) {
        int key = i * REGISTRATION_SCRAMBLE_MULTIPLIER / REGISTRATION_SCRAMBLE_DIVISOR;
        bytes[i] = static_cast<unsigned char>(bytes[i] ^ (key & 0xFF));
    }
}
