// An in-memory registry behind platform/registry.h for the host tests.
// Keys are found ignoring case, as the registry does; values enumerate in the
// order they were first written.
#pragma once

#include "platform/registry.h"

// Raw registry type numbers, as stored.
enum {
    FAKE_REG_NONE = 0,
    FAKE_REG_SZ = 1,
    FAKE_REG_EXPAND_SZ = 2,
    FAKE_REG_BINARY = 3,
    FAKE_REG_DWORD = 4,
    FAKE_REG_DWORD_BIG_ENDIAN = 5,
    FAKE_REG_MULTI_SZ = 7,
};

// Forgets every key; handles still open count as leaked.
void registry_fake_reset();

// Handles opened or created and not yet closed.
int registry_fake_open_keys();

// Writes a value with any type and exactly `length` bytes of data, as
// another program may have written it.
void registry_fake_set_raw(RegKey key, const char* name, unsigned type, const void* data,
                           int length);
