#include "crc32.h"

#include "log.h"

namespace {

// The table entry for one index, computed on the spot: the stub keeps no
// 1 KiB table for the few hundred bytes it ever checks.
unsigned crc32_entry(unsigned index) {
    unsigned entry = index;
    for (int bit = 0; bit < 8; ++bit) {
        entry = (entry & 1u) ? (entry >> 1) ^ 0xEDB88320u : entry >> 1;
    }
    return entry;
}

} // namespace

unsigned crc32_block(const void* data, int length) {
    CORE_ASSERT_POINTER(data);
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    unsigned crc = 0xFFFFFFFFu;
    for (int i = 0; i < length; ++i) {
        crc = (crc >> 8) ^ crc32_entry((crc ^ bytes[i]) & 0xFFu);
    }
    return ~crc;
}
