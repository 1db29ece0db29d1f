// Registry access by root selector.
//
// Values are found by walking a key's values in the registry's order and
// comparing names case-sensitively, never by a direct query; the first value
// whose name or data does not fit the lookup buffers ends the walk. Open,
// create and the existence test fail silently; delete, set and get log one
// line on failure. Every operation returns 1 for success and 0 for failure.
#pragma once

// The platform's open key handle (HKEY on Windows). Null holds no open key.
struct HKEY__;
typedef HKEY__* RegKey;

// Root selectors; any other number selects the current user's root.
enum {
    REG_ROOT_CURRENT_USER = 1,
    REG_ROOT_DYN_DATA = 2,
    REG_ROOT_PERFORMANCE_DATA = 3,
    REG_ROOT_LOCAL_MACHINE = 4,
    REG_ROOT_CLASSES_ROOT = 5,
    REG_ROOT_CURRENT_CONFIG = 6,
};

// What reg_enum_value reports for a value's registry type.
enum {
    REG_KIND_DATA = 1,       // REG_BINARY and every unsupported type
    REG_KIND_STRING = 2,     // REG_SZ
    REG_KIND_INTEGER = 3,    // REG_DWORD
    REG_KIND_BIG_ENDIAN = 4, // REG_DWORD_BIG_ENDIAN
};

// The lookup reads names of up to 159 characters and data of up to 160 bytes.
enum { REG_NAME_SIZE = 160, REG_DATA_SIZE = 160 };

RegKey reg_root_key(int root);

// Both set `key` to null first and store the handle only on success.
int reg_open_key(RegKey* key, int root, const char* path);
int reg_create_key(RegKey* key, int root, const char* path);

// Closes the key and nulls the caller's handle. Returns 1.
int reg_close_key(RegKey* key);

int reg_key_exists(int root, const char* path);

// Whether the key holds a value of that name (found as the registry finds
// names, ignoring case), whatever its size: tells a value that is missing
// from one that the lookup could not read.
int reg_value_exists(RegKey key, const char* name);

// Deletes the key and its values. Windows NT refuses a key that holds subkeys
// and Windows 95 deletes them too: callers that mean to keep them check first.
int reg_delete_key(int root, const char* path);

// Deletes one value of the key.
int reg_delete_value(RegKey key, const char* name);

// How many subkeys and values the key holds. Fails silently, as the
// existence test does.
int reg_key_contents(RegKey key, int* subkeys, int* values);

// Value `index` of the key: its name, its data and the data's length in bytes,
// and its kind. Returns 0 when there is no such value or it does not fit.
int reg_enum_value(RegKey key, int index, char* name, int name_size, void* data, int data_size,
                   int* data_length, int* kind);

// The value kind of a registry type; an unsupported type is logged and
// reported as data.
int reg_value_kind(unsigned type);

// The first four bytes of the value's data, whatever its kind; data shorter
// than four bytes reads as padded with zero bytes.
int reg_get_integer(RegKey key, const char* name, int* value);
int reg_set_integer(RegKey key, const char* name, int value);

// The value's data as text, whatever its kind: it ends at the first zero byte
// or at the data's length, and is cut to fit `size` bytes (at least 1).
// A failed get leaves `text` untouched.
int reg_get_string(RegKey key, const char* name, char* text, int size);
int reg_set_string(RegKey key, const char* name, const char* text);

// As reg_get_string, for a value that names a file or folder: a REG_SZ path
// that the code page cannot hold comes as its short form, and one without an
// 8-bit form (core/system_path.h) fails with `text` emptied.
int reg_get_path(RegKey key, const char* name, char* text, int size);
