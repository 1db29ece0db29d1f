#include <windows.h>

#include "core/log.h"
#include "core/text.h"
#include "relocate.h"

namespace {

void log_last_error(const char* format) {
    DWORD error = GetLastError();
    log_printf(format, static_cast<int>(error), static_cast<unsigned>(error));
}

// The copy's name in the temporary folder: "Del" and the system's unique
// number, with ".exe" for the extension. The empty file that reserved the
// name is deleted again. Returns 0 when the name cannot be had whole.
int reserve_copy_path(char* copy_path, int size) {
    DWORD length = GetTempPathA(static_cast<DWORD>(size), copy_path);
    if (length == 0 || length >= static_cast<DWORD>(size)) {
        log_printf("Unable to relocate: temp path too long\n");
        return 0;
    }
    // The system writes up to MAX_PATH characters, whatever room we have.
    char name[MAX_PATH];
    if (!GetTempFileNameA(copy_path, "Del", 0, name)) {
        log_last_error("Failed to create temp file (%d) (0x%.8X)\n");
        return 0;
    }
    DeleteFileA(name);
    if (!text_copy(copy_path, size, name)) {
        log_printf("Unable to relocate: temp path too long\n");
        return 0;
    }
    text_copy(copy_path + text_length(copy_path) - 4, 5, ".exe");
    return 1;
}

} // namespace

int relocate_and_spawn(const char* arguments) {
    char own_path[RELOCATE_PATH_SIZE];
    DWORD length = GetModuleFileNameA(nullptr, own_path, sizeof own_path);
    if (length == 0 || length >= sizeof own_path) {
        log_printf("Unable to relocate: program path too long\n");
        return 1;
    }
    char copy_path[RELOCATE_PATH_SIZE];
    if (!reserve_copy_path(copy_path, sizeof copy_path)) {
        return 1;
    }
    // Composed before anything is copied: a cut line must never be started.
    char command_line[RELOCATE_COMMAND_SIZE];
    if (!relocate_command_line(command_line, sizeof command_line, copy_path, arguments)) {
        log_printf("Unable to relocate: command line too long\n");
        return 1;
    }

    log_printf("Copy: %s -> %s\n", own_path, copy_path);
    if (!CopyFileA(own_path, copy_path, FALSE)) {
        log_last_error("Failed to copy file (%d) (0x%.8X)\n");
    }

    // Inherited by the copy, which may wait on it for this process to end.
    HANDLE self = OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, command_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        log_last_error("Failed to create process (%d) (0x%.8X)\n");
    }
    log_printf("Exec: %s (0x%.8X)\n", command_line,
               static_cast<unsigned>(reinterpret_cast<UINT_PTR>(self)));
    if (self) {
        CloseHandle(self);
    }
    return 1;
}
