// The special folders from the system.
#include <windows.h>

#include "core/log.h"
#include "paths.h"

namespace {

// Each query returns the text's length when it fits and the size it needs
// when it does not; a query that fails or does not fit leaves an empty text
// rather than whatever the call left in the buffer.
int take_folder(char* folder, int size, DWORD length, int trailing) {
    if (length == 0 || length >= static_cast<DWORD>(size)) {
        folder[0] = '\0';
    }
    fix_slashes(folder, size, trailing);
    return 1;
}

DWORD buffer_size(int size) {
    CORE_ASSERT(size > 0, "Bad folder size (%d)\n", size);
    return static_cast<DWORD>(size);
}

} // namespace

int get_current_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    return take_folder(folder, size, GetCurrentDirectoryA(buffer_size(size), folder), 1);
}

int get_temp_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    return take_folder(folder, size, GetTempPathA(buffer_size(size), folder), 1);
}

int get_windows_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    return take_folder(folder, size, GetWindowsDirectoryA(folder, buffer_size(size)), 1);
}

int get_system_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    return take_folder(folder, size, GetSystemDirectoryA(folder, buffer_size(size)), 1);
}

int get_module_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    take_folder(folder, size, GetModuleFileNameA(nullptr, folder, buffer_size(size)), 0);
    char* cut = nullptr;
    for (char* p = folder; *p != '\0'; ++p) {
        if (*p == '\\') {
            cut = p + 1;
        }
    }
    if (cut) {
        *cut = '\0';
    }
    return 1;
}
