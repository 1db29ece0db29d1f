// The signing command on Windows: CreateProcess with a command line quoted
// from the arguments, its output and error into one pipe.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "sign_command.h"

namespace {

std::string system_message(DWORD code) {
    char text[512] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == ' ' || text[length - 1] == '.')) {
        --length;
    }
    return std::string(text, length) + " (error " + std::to_string(code) + ")";
}

} // namespace

bool sign_command_execute(const std::vector<std::string>& arguments, std::string* output,
                          std::string* ending, std::string* error) {
    // Only the pipe's writing end and the empty input are inherited.
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;
    if (!CreatePipe(&reading, &writing, &inherited, 0)) {
        *error = "cannot make a pipe: " + system_message(GetLastError());
        return false;
    }
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    HANDLE nothing = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = writing;
    startup.hStdError = writing;
    PROCESS_INFORMATION process = {};
    std::string line = sign_command_line(arguments);
    std::vector<char> writable(line.begin(), line.end());
    writable.push_back('\0');
    BOOL started = CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    DWORD failure = GetLastError();
    CloseHandle(writing);
    if (nothing != INVALID_HANDLE_VALUE) {
        CloseHandle(nothing);
    }
    if (!started) {
        CloseHandle(reading);
        *error = system_message(failure);
        return false;
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reading, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        output->append(buffer, got);
    }
    CloseHandle(reading);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code != 0) {
        char text[32];
        snprintf(text, sizeof text, code > 0xFFFF ? "exit code 0x%08lX" : "exit code %lu", code);
        *ending = text;
    }
    return true;
}
