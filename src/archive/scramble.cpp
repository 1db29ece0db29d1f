#include "scramble.h"

#include "core/log.h"

int ffs_scramble(unsigned char* data, int length, const char* key, int key_length) {
    CORE_ASSERT_POINTER(data);
    CORE_ASSERT_POINTER(key);
    CORE_ASSERT(key_length > 0, "Empty scrambling key (%d)\n", key_length);
    for (int i = 0; i < length; ++i) {
        int j = i % key_length;
        unsigned mask = static_cast<unsigned char>(key[j]) ^ static_cast<unsigned>(i) ^
                        static_cast<unsigned>(j);
        data[i] = static_cast<unsigned char>(data[i] ^ (mask & 0xFF));
    }
    return 1;
}
