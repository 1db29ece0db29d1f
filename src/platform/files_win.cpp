// Files and folders on the Win32 file functions.
#include <windows.h>

#include "core/log.h"
#include "core/text.h"
#include "files.h"

namespace {

// A folder path of the longest kind the program builds, its separator and '*'.
enum { FILES_PATTERN_SIZE = 330 };

} // namespace

int file_delete(const char* path, int milliseconds) {
    CORE_ASSERT_POINTER(path);
    const int pause = 50;
    for (;;) {
        if (DeleteFileA(path)) {
            return 1;
        }
        DWORD error = GetLastError();
        if (milliseconds <= 0 ||
            (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
            return 0;
        }
        Sleep(pause);
        milliseconds -= pause;
    }
}

int file_exists(const char* path) {
    CORE_ASSERT_POINTER(path);
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int folder_leave() {
    // Reading the current folder costs nothing; changing it opens the folder.
    char current[4];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 3 && current[1] == ':' && current[2] == '\\') {
        return 1;
    }
    return SetCurrentDirectoryA("\\") ? 1 : 0;
}

int folder_remove(const char* folder) {
    CORE_ASSERT_POINTER(folder);
    return RemoveDirectoryA(folder) ? 1 : 0;
}

int folder_list(const char* folder, FolderVisit visit, void* context) {
    CORE_ASSERT_POINTER(folder);
    CORE_ASSERT(visit != nullptr, "No visitor\n");
    char pattern[FILES_PATTERN_SIZE];
    int length = text_length(folder);
    int separated = length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/');
    if (!text_format(pattern, sizeof pattern, "%s%s*", folder, separated ? "" : "\\")) {
        return 0;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    while (visit(entry.cFileName, context) && FindNextFileA(search, &entry)) {
    }
    FindClose(search);
    return 1;
}
