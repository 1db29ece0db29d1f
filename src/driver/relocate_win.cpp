#include <windows.h>

#include "core/log.h"
#include "core/system_path.h"
#include "core/text.h"
#include "relocate.h"

namespace {

void log_last_error(const char* format) {
    DWORD error = GetLastError();
    log_printf(format, static_cast<int>(error), static_cast<unsigned>(error));
}

void close_if_open(HANDLE handle) {
    if (handle) {
        CloseHandle(handle);
    }
}

// The copy's name in the temporary folder: "Del" and the system's unique
// number, with ".exe" for the extension. The empty file that reserved the
// name is deleted again. Returns 0 when the name cannot be had whole.
int reserve_copy_path(char* copy_path, int size) {
    wchar_t folder[SYSTEM_PATH_SIZE];
    char named[SYSTEM_PATH_SIZE];
    DWORD length = GetTempPathW(SYSTEM_PATH_SIZE, folder);
    if (length > 0 && length < SYSTEM_PATH_SIZE &&
        !system_path_from_wide(folder, named, sizeof named)) {
        log_printf("Unable to relocate: no usable temp path\n");
        return 0;
    }
    if (length == 0 || length >= SYSTEM_PATH_SIZE || !text_copy(copy_path, size, named)) {
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

int relocate_and_spawn(const char* arguments, int wait, int* exit_code) {
    *exit_code = 1;
    wchar_t wide_path[SYSTEM_PATH_SIZE];
    char named[SYSTEM_PATH_SIZE];
    DWORD length = GetModuleFileNameW(nullptr, wide_path, SYSTEM_PATH_SIZE);
    if (length > 0 && length < SYSTEM_PATH_SIZE &&
        !system_path_from_wide(wide_path, named, sizeof named)) {
        log_printf("Unable to relocate: no usable program path\n");
        return 0;
    }
    char own_path[RELOCATE_PATH_SIZE];
    if (length == 0 || length >= SYSTEM_PATH_SIZE || !text_copy(own_path, sizeof own_path, named)) {
        log_printf("Unable to relocate: program path too long\n");
        return 0;
    }
    char copy_path[RELOCATE_PATH_SIZE];
    if (!reserve_copy_path(copy_path, sizeof copy_path)) {
        return 0;
    }
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    // Inherited by the copy, which may wait on it for this process to end.
    HANDLE self = OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId());
    HANDLE result_read = nullptr;
    HANDLE result_write = nullptr;
    RelocateWaiting waiting = {};
    if (wait && self && CreatePipe(&result_read, &result_write, &inherited, 0)) {
        // Only the copy writes: this end must not reach it.
        SetHandleInformation(result_read, HANDLE_FLAG_INHERIT, 0);
        waiting.process = static_cast<unsigned>(reinterpret_cast<UINT_PTR>(self));
        waiting.pipe = static_cast<unsigned>(reinterpret_cast<UINT_PTR>(result_write));
    }
    // Composed before anything is copied: a cut line must never be started.
    char command_line[RELOCATE_COMMAND_SIZE];
    int started = 0;
    if (!relocate_command_line(command_line, sizeof command_line, copy_path,
                               result_write ? &waiting : nullptr, arguments)) {
        log_printf("Unable to relocate: command line too long\n");
    } else {
        log_printf("Copy: %s -> %s\n", own_path, copy_path);
        if (!CopyFileA(own_path, copy_path, FALSE)) {
            log_last_error("Failed to copy file (%d) (0x%.8X)\n");
        }
        // The copy's only other handle is the copy's own image: when the copy
        // ends, the file goes, whatever way the copy ended.
        HANDLE doomed = CreateFileA(copy_path, DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    &inherited, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (doomed == INVALID_HANDLE_VALUE) {
            log_last_error("Failed to open for deletion (%d) (0x%.8X)\n");
        } else {
            log_printf("Delete on close: %s\n", copy_path);
        }
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        started = CreateProcessA(nullptr, command_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &process);
        if (!started) {
            log_last_error("Failed to create process (%d) (0x%.8X)\n");
        }
        log_printf("Exec: %s (0x%.8X)\n", command_line,
                   static_cast<unsigned>(reinterpret_cast<UINT_PTR>(self)));
        if (doomed != INVALID_HANDLE_VALUE) {
            CloseHandle(doomed);
        }
        if (started) {
            CloseHandle(process.hThread);
            if (result_write) {
                CloseHandle(result_write);
                result_write = nullptr;
                // One byte when the copy's work is done; none when it ended
                // without reporting, and then its exit code tells.
                unsigned char code = 0;
                DWORD read = 0;
                if (ReadFile(result_read, &code, 1, &read, nullptr) && read == 1) {
                    *exit_code = code;
                } else {
                    DWORD ended = 1;
                    WaitForSingleObject(process.hProcess, INFINITE);
                    GetExitCodeProcess(process.hProcess, &ended);
                    *exit_code = static_cast<int>(ended);
                }
                log_printf("Copy's result: %d\n", *exit_code);
            }
            CloseHandle(process.hProcess);
        }
    }
    close_if_open(self);
    close_if_open(result_read);
    close_if_open(result_write);
    return started;
}

int relocate_report(const RelocateWaiting* waiting, int exit_code) {
    HANDLE pipe = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(waiting->pipe));
    HANDLE process = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(waiting->process));
    unsigned char code = static_cast<unsigned char>(exit_code);
    DWORD written = 0;
    if (!WriteFile(pipe, &code, 1, &written, nullptr)) {
        log_last_error("Failed to report (%d) (0x%.8X)\n");
    }
    CloseHandle(pipe);
    const DWORD minute = 60000;
    if (WaitForSingleObject(process, minute) != WAIT_OBJECT_0) {
        log_printf("The started process did not end\n");
    }
    CloseHandle(process);
    return 1;
}
