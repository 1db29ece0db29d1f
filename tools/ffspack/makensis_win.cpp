#include "makensis.h"

#include <windows.h>

namespace {

bool is_file(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// NSIS's installer is a 32-bit program: its key is in the 32-bit view.
std::string registered_folder() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\NSIS", 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                      &key) != ERROR_SUCCESS) {
        return "";
    }
    char folder[MAX_PATH] = "";
    DWORD size = sizeof folder - 1;
    DWORD type = 0;
    LONG status =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
    RegCloseKey(key);
    folder[size < sizeof folder ? size : sizeof folder - 1] = '\0';
    return status == ERROR_SUCCESS && type == REG_SZ ? folder : "";
}

std::string environment_folder(const char* variable) {
    char folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(variable, folder, sizeof folder);
    return length > 0 && length < sizeof folder ? std::string(folder) + "\\NSIS" : "";
}

bool find_makensis(std::string* path) {
    char found[MAX_PATH];
    DWORD length = SearchPathA(nullptr, "makensis.exe", nullptr, sizeof found, found, nullptr);
    if (length > 0 && length < sizeof found) {
        *path = found;
        return true;
    }
    for (const std::string& folder : {registered_folder(), environment_folder("ProgramFiles(x86)"),
                                      environment_folder("ProgramFiles")}) {
        if (!folder.empty() && is_file(folder + "\\makensis.exe")) {
            *path = folder + "\\makensis.exe";
            return true;
        }
    }
    return false;
}

// One argument as the C runtime splits a command line: quoted when it holds a
// space, a tab or a quote; backslashes doubled only before a quote.
std::string quoted_argument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        return argument;
    }
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    // The closing quote follows: backslashes before it are doubled too.
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

// Closes the handle it holds on every path out.
struct Handle {
    HANDLE value = nullptr;
    ~Handle() {
        if (value) {
            CloseHandle(value);
        }
    }
};

std::string system_error(const std::string& what) {
    return what + " (error " + std::to_string(GetLastError()) + ")";
}

} // namespace

bool makensis_run(const std::string& program, const std::vector<std::string>& arguments,
                  int* exit_code, std::string* output, std::string* error) {
    std::string path = program;
    if (path.empty() && !find_makensis(&path)) {
        *error = "makensis.exe is neither on PATH nor in the NSIS folder; give --makensis PATH";
        return false;
    }
    std::string command_line = quoted_argument(path);
    for (const std::string& argument : arguments) {
        command_line += " " + quoted_argument(argument);
    }
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    Handle read_end, write_end;
    if (!CreatePipe(&read_end.value, &write_end.value, &inherited, 0) ||
        !SetHandleInformation(read_end.value, HANDLE_FLAG_INHERIT, 0)) {
        *error = system_error("cannot run '" + path + "': no pipe");
        return false;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end.value;
    startup.hStdError = write_end.value;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(path.c_str(), &command_line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
        *error = system_error("cannot run '" + path + "'");
        return false;
    }
    Handle child{process.hProcess}, thread{process.hThread};
    // Only the child holds the write end now, so the reads end with it.
    CloseHandle(write_end.value);
    write_end.value = nullptr;
    output->clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read_end.value, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        output->append(buffer, got);
    }
    WaitForSingleObject(child.value, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(child.value, &code);
    *exit_code = static_cast<int>(code);
    return true;
}
