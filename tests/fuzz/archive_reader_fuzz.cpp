// The archive reader over arbitrary files: it must open exactly the files whose
// archive it can find, where it ends (the file's end, or the certificate table
// that ends a signed program) being read here on its own, and hand out exactly
// the descrambled bytes behind the tag, and free them again.
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/ffs.h"
#include "archive/format.h"
#include "archive/scramble.h"
#include "fuzz_file.h"

namespace {

// Little-endian, 0 outside the file.
uint64_t at(const uint8_t* data, size_t size, uint64_t offset, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0 && offset + count <= size; --i) {
        value = value << 8 | data[offset + i];
    }
    return value;
}

struct Expected {
    bool damaged;
    uint64_t end, table, table_size;
};

Expected expected_end(const uint8_t* data, size_t size) {
    Expected e{false, size, 0, 0};
    uint64_t pe = at(data, size, 0x3C, 4);
    uint64_t magic = at(data, size, pe + 24, 2);
    uint64_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    uint64_t entry = pe + 24 + directories + 32;
    if (size < 64 || data[0] != 'M' || data[1] != 'Z' || pe + 26 > size ||
        memcmp(data + pe, "PE\0\0", 4) != 0 || directories == 0 ||
        at(data, size, pe + 20, 2) < directories + 40 ||
        at(data, size, pe + 24 + directories - 4, 4) < 5 || entry + 8 > size) {
        return e;
    }
    e.table = at(data, size, entry, 4);
    e.table_size = at(data, size, entry + 4, 4);
    if (e.table == 0 && e.table_size == 0) {
        return e;
    }
    uint64_t length = at(data, size, e.table, 4);
    e.damaged = e.table < entry + 8 || e.table + 8 > size || e.table + e.table_size > size ||
                length < 8 || length > e.table_size || at(data, size, e.table + 4, 2) != 0x200 ||
                at(data, size, e.table + 6, 2) != 2;
    e.end = e.table + e.table_size == size ? e.table : size;
    return e;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Expected e = expected_end(data, size);
    uint64_t tag = e.end >= 4 ? at(data, size, e.end - 4, 4) : 0;
    bool clear = e.table_size == 0 || e.end == e.table || tag >= e.table + e.table_size;
    bool readable =
        !e.damaged && tag != 0 && tag + 4 < e.end && memcmp(data + tag, FFS_TAG, 4) == 0 && clear;
    int opened = ffs_open(fuzz_file(data, size));
    fuzz_check(opened == readable);
    if (opened) {
        int length = 0;
        fuzz_check(ffs_file_size("install.dat", &length) &&
                   static_cast<uint64_t>(length) == e.end - tag - 4);
        std::vector<unsigned char> block(static_cast<size_t>(length) + 1, 0xA5);
        ffs_read_file("any name", block.data(), length);
        fuzz_check(block.back() == 0xA5);
        ffs_scramble(block.data(), length, FFS_KEY, static_cast<int>(strlen(FFS_KEY)));
        fuzz_check(memcmp(block.data(), data + tag + 4, static_cast<size_t>(length)) == 0);
    }
    ffs_close();
    return 0;
}
