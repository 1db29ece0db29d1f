// The special folders from the system, through its wide calls: a folder
// outside the code page comes as its short form or not at all.
#include <windows.h>

#include "core/log.h"
#include "core/system_path.h"
#include "paths.h"

namespace {

// Each query returns the text's length when it fits and the size it needs
// when it does not; a query that fails, does not fit or has no 8-bit form
// leaves an empty text rather than whatever the call left in the buffer.
int take_folder(char* folder, int size, const wchar_t* wide, DWORD length, int trailing) {
    CORE_ASSERT(size > 0, "Bad folder size (%d)\n", size);
    int named =
        length > 0 && length < SYSTEM_PATH_SIZE && system_path_from_wide(wide, folder, size);
    if (!named) {
        folder[0] = '\0';
    }
    fix_slashes(folder, size, trailing);
    return named;
}

} // namespace

int get_current_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    wchar_t wide[SYSTEM_PATH_SIZE];
    return take_folder(folder, size, wide, GetCurrentDirectoryW(SYSTEM_PATH_SIZE, wide), 1);
}

int get_temp_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    wchar_t wide[SYSTEM_PATH_SIZE];
    return take_folder(folder, size, wide, GetTempPathW(SYSTEM_PATH_SIZE, wide), 1);
}

int get_windows_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    wchar_t wide[SYSTEM_PATH_SIZE];
    return take_folder(folder, size, wide, GetWindowsDirectoryW(wide, SYSTEM_PATH_SIZE), 1);
}

int get_system_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    wchar_t wide[SYSTEM_PATH_SIZE];
    return take_folder(folder, size, wide, GetSystemDirectoryW(wide, SYSTEM_PATH_SIZE), 1);
}

int get_module_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    wchar_t wide[SYSTEM_PATH_SIZE];
    int named =
        take_folder(folder, size, wide, GetModuleFileNameW(nullptr, wide, SYSTEM_PATH_SIZE), 0);
    char* cut = nullptr;
    for (char* p = folder; *p != '\0'; ++p) {
        if (*p == '\\') {
            cut = p + 1;
        }
    }
    if (cut) {
        *cut = '\0';
    }
    return named;
}
