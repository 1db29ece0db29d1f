#include <windows.h>

#include "log_platform.h"
#include "system_path.h"

namespace {

HANDLE g_console_output = INVALID_HANDLE_VALUE;

} // namespace

void* log_platform_lock_create() {
    return CreateMutexA(nullptr, FALSE, nullptr);
}

void log_platform_lock_take(void* lock) {
    WaitForSingleObject(static_cast<HANDLE>(lock), INFINITE);
}

void log_platform_lock_release(void* lock) {
    ReleaseMutex(static_cast<HANDLE>(lock));
}

void log_platform_lock_close(void* lock) {
    CloseHandle(static_cast<HANDLE>(lock));
}

const char* log_platform_command_line() {
    return GetCommandLineA();
}

void log_platform_module_path(char* buffer, int size) {
    wchar_t wide[SYSTEM_PATH_SIZE];
    DWORD length = GetModuleFileNameW(nullptr, wide, SYSTEM_PATH_SIZE);
    buffer[0] = '\0';
    // Unlogged: the log is not open yet. A path with no 8-bit form puts the
    // log in the current folder.
    if (length > 0 && length < SYSTEM_PATH_SIZE) {
        system_path_unlogged(wide, buffer, size);
    }
}

int log_platform_console_open(const char* title) {
    AllocConsole();
    g_console_output = GetStdHandle(STD_OUTPUT_HANDLE);
    SetConsoleTitleA(title);
    return g_console_output != INVALID_HANDLE_VALUE && g_console_output != nullptr;
}

void log_platform_console_write(const char* text, int length) {
    DWORD written = 0;
    WriteFile(g_console_output, text, static_cast<DWORD>(length), &written, nullptr);
}

void log_platform_fatal_box(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONHAND);
}
