// The value lookup, shared by the Win32 registry and the host tests' fake.
#include "registry.h"

#include <cstring>

#include "core/log.h"
#include "core/text.h"

namespace {

enum {
    TYPE_SZ = 1,
    TYPE_BINARY = 3,
    TYPE_DWORD = 4,
    TYPE_DWORD_BIG_ENDIAN = 5,
};

// Walks the values in the registry's order up to the first exact name match.
// The data buffer is zeroed before every step, so that bytes past the value's
// length never carry a previous value's data.
int find_value(RegKey key, const char* wanted, unsigned char* data, int* length) {
    char name[REG_NAME_SIZE];
    for (int index = 0;; ++index) {
        for (int i = 0; i < REG_DATA_SIZE; ++i) {
            data[i] = 0;
        }
        int kind = 0;
        if (!reg_enum_value(key, index, name, sizeof name, data, REG_DATA_SIZE, length, &kind)) {
            return 0;
        }
        if (text_equal(name, wanted)) {
            return 1;
        }
    }
}

} // namespace

int reg_key_exists(int root, const char* path) {
    RegKey key = nullptr;
    if (!reg_open_key(&key, root, path)) {
        return 0;
    }
    reg_close_key(&key);
    return 1;
}

int reg_value_kind(unsigned type) {
    switch (type) {
    case TYPE_BINARY:
        return REG_KIND_DATA;
    case TYPE_SZ:
        return REG_KIND_STRING;
    case TYPE_DWORD:
        return REG_KIND_INTEGER;
    case TYPE_DWORD_BIG_ENDIAN:
        return REG_KIND_BIG_ENDIAN;
    default:
        log_printf("Unsupported type 0x%.8X (%d)\n", type, static_cast<int>(type));
        return REG_KIND_DATA;
    }
}

int reg_get_integer(RegKey key, const char* name, int* value) {
    CORE_ASSERT_POINTER(name);
    CORE_ASSERT_POINTER(value);
    unsigned char data[REG_DATA_SIZE];
    int length = 0;
    if (!find_value(key, name, data, &length)) {
        log_printf("Unable to get '%s' integer\n", name);
        return 0;
    }
    memcpy(value, data, sizeof *value);
    return 1;
}

int reg_get_string(RegKey key, const char* name, char* text, int size) {
    CORE_ASSERT_POINTER(name);
    CORE_ASSERT_POINTER(text);
    CORE_ASSERT(size > 0, "Bad string size (%d)\n", size);
    unsigned char data[REG_DATA_SIZE];
    int length = 0;
    if (!find_value(key, name, data, &length)) {
        log_printf("Unable to get '%s' string\n", name);
        return 0;
    }
    // Stored strings need not carry their terminator: the data's length ends
    // the text as surely as a zero byte does.
    int end = 0;
    while (end < length && end < size - 1 && data[end] != 0) {
        text[end] = static_cast<char>(data[end]);
        ++end;
    }
    text[end] = '\0';
    return 1;
}
