// The Start-menu Programs folder from the shell.
#include <windows.h>

#include <shlobj.h>

#include "core/log.h"
#include "shell_folder.h"

int shell_programs_folder(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    CORE_ASSERT(size >= SHELL_FOLDER_SIZE, "Shell folder buffer too small (%d)\n", size);
    folder[0] = '\0';
    LPITEMIDLIST list = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, &list) == S_OK && list) {
        if (!SHGetPathFromIDListA(list, folder)) {
            folder[0] = '\0';
        }
        // The list comes from the shell's allocator, which is COM's task allocator.
        CoTaskMemFree(list);
    }
    return 1;
}
