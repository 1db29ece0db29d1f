// The Start-menu Programs folder from the shell.
#include <windows.h>

#include <shlobj.h>

#include "core/log.h"
#include "core/system_path.h"
#include "shell_folder.h"

int shell_programs_folder(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    CORE_ASSERT(size >= SHELL_FOLDER_SIZE, "Shell folder buffer too small (%d)\n", size);
    folder[0] = '\0';
    LPITEMIDLIST list = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, &list) == S_OK && list) {
        // Wide, so that a folder outside the code page comes as its short form.
        wchar_t wide[SYSTEM_PATH_SIZE];
        if (!SHGetPathFromIDListW(list, wide) || !system_path_from_wide(wide, folder, size)) {
            folder[0] = '\0';
        }
        // The list comes from the shell's allocator, which is COM's task allocator.
        CoTaskMemFree(list);
    }
    return 1;
}
