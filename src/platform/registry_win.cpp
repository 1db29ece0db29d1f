// The registry operations on the Win32 registry, with full access always.
#include <windows.h>

#include "core/log.h"
#include "core/system_path.h"
#include "core/text.h"
#include "registry.h"

RegKey reg_root_key(int root) {
    switch (root) {
    case REG_ROOT_DYN_DATA:
        return HKEY_DYN_DATA;
    case REG_ROOT_PERFORMANCE_DATA:
        return HKEY_PERFORMANCE_DATA;
    case REG_ROOT_LOCAL_MACHINE:
        return HKEY_LOCAL_MACHINE;
    case REG_ROOT_CLASSES_ROOT:
        return HKEY_CLASSES_ROOT;
    case REG_ROOT_CURRENT_CONFIG:
        return HKEY_CURRENT_CONFIG;
    default:
        return HKEY_CURRENT_USER;
    }
}

int reg_open_key(RegKey* key, int root, const char* path) {
    CORE_ASSERT_POINTER(key);
    CORE_ASSERT_POINTER(path);
    *key = nullptr;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(reg_root_key(root), path, 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) {
        return 0;
    }
    *key = opened;
    return 1;
}

int reg_create_key(RegKey* key, int root, const char* path) {
    CORE_ASSERT_POINTER(key);
    CORE_ASSERT_POINTER(path);
    *key = nullptr;
    HKEY created = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(reg_root_key(root), path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &created, &disposition) != ERROR_SUCCESS) {
        return 0;
    }
    *key = created;
    return 1;
}

int reg_close_key(RegKey* key) {
    CORE_ASSERT_POINTER(key);
    RegCloseKey(*key);
    *key = nullptr;
    return 1;
}

int reg_delete_key(int root, const char* path) {
    CORE_ASSERT_POINTER(path);
    LONG result = RegDeleteKeyA(reg_root_key(root), path);
    if (result != ERROR_SUCCESS) {
        log_printf("Unable to delete key '%s'(0x%.8X)\n", path, static_cast<unsigned>(result));
        return 0;
    }
    return 1;
}

int reg_delete_value(RegKey key, const char* name) {
    CORE_ASSERT_POINTER(name);
    LONG result = RegDeleteValueA(key, name);
    if (result != ERROR_SUCCESS) {
        log_printf("Unable to delete value '%s'(0x%.8X)\n", name, static_cast<unsigned>(result));
        return 0;
    }
    return 1;
}

int reg_key_contents(RegKey key, int* subkeys, int* values) {
    CORE_ASSERT_POINTER(subkeys);
    CORE_ASSERT_POINTER(values);
    DWORD keys = 0;
    DWORD named = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &named, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    *subkeys = static_cast<int>(keys);
    *values = static_cast<int>(named);
    return 1;
}

int reg_value_exists(RegKey key, const char* name) {
    CORE_ASSERT_POINTER(name);
    return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

int reg_enum_value(RegKey key, int index, char* name, int name_size, void* data, int data_size,
                   int* data_length, int* kind) {
    CORE_ASSERT_POINTER(name);
    CORE_ASSERT_POINTER(data);
    CORE_ASSERT_POINTER(data_length);
    CORE_ASSERT_POINTER(kind);
    *data_length = data_size;
    DWORD name_length = static_cast<DWORD>(name_size);
    DWORD length = static_cast<DWORD>(data_size);
    DWORD type = 0;
    if (RegEnumValueA(key, static_cast<DWORD>(index), name, &name_length, nullptr, &type,
                      static_cast<BYTE*>(data), &length) != ERROR_SUCCESS) {
        return 0;
    }
    *data_length = static_cast<int>(length);
    *kind = reg_value_kind(type);
    return 1;
}

int reg_set_integer(RegKey key, const char* name, int value) {
    CORE_ASSERT_POINTER(name);
    DWORD data = static_cast<DWORD>(value);
    if (RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof data) != ERROR_SUCCESS) {
        log_printf("Unable to set '%s' integer\n", name);
        return 0;
    }
    return 1;
}

int reg_set_string(RegKey key, const char* name, const char* text) {
    CORE_ASSERT_POINTER(name);
    CORE_ASSERT_POINTER(text);
    DWORD length = static_cast<DWORD>(text_length(text)) + 1;
    if (RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), length) !=
        ERROR_SUCCESS) {
        log_printf("Unable to set '%s' string\n", name);
        return 0;
    }
    return 1;
}

int reg_get_path(RegKey key, const char* name, char* text, int size) {
    if (!reg_get_string(key, name, text, size)) {
        return 0;
    }
    // The walk read the data through the 8-bit calls, which turn a character
    // outside the code page into '?': the value the walk found is read again
    // wide, by its name, to tell the path itself.
    wchar_t wide_name[REG_NAME_SIZE];
    wchar_t wide[SYSTEM_PATH_SIZE];
    DWORD bytes = sizeof wide - sizeof wide[0];
    DWORD type = 0;
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wide_name, REG_NAME_SIZE) ||
        RegQueryValueExW(key, wide_name, nullptr, &type, reinterpret_cast<BYTE*>(wide), &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return 1;
    }
    wide[bytes / sizeof wide[0]] = L'\0';
    return system_path_from_wide(wide, text, size);
}
