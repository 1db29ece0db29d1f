// The archive reader over arbitrary files: it must either refuse the file or
// hand out exactly the descrambled bytes behind the tag, and free them again.
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/ffs.h"
#include "archive/format.h"
#include "archive/scramble.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (ffs_open(fuzz_file(data, size))) {
        int length = 0;
        fuzz_check(ffs_file_size("install.dat", &length) && size >= 4);
        uint32_t tag = data[size - 4] | data[size - 3] << 8 | data[size - 2] << 16 |
                       static_cast<uint32_t>(data[size - 1]) << 24;
        fuzz_check(tag != 0 && tag + 4 < size && memcmp(data + tag, FFS_TAG, 4) == 0 &&
                   static_cast<size_t>(length) == size - tag - 4);
        std::vector<unsigned char> block(static_cast<size_t>(length) + 1, 0xA5);
        ffs_read_file("any name", block.data(), length);
        fuzz_check(block.back() == 0xA5);
        ffs_scramble(block.data(), length, FFS_KEY, static_cast<int>(strlen(FFS_KEY)));
        fuzz_check(memcmp(block.data(), data + tag + 4, static_cast<size_t>(length)) == 0);
    }
    ffs_close();
    return 0;
}
