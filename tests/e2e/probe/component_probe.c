/* A self-registering library that records its calls: DllRegisterServer and
 * DllUnregisterServer append their name to "<library path>.calls"; while a file
 * "<library path>.fail" exists, both then return E_FAIL. */
#include <windows.h>

static HRESULT record(const char* entry) {
    static const char anchor = 0; /* an address inside this library: its path */
    HMODULE self;
    char path[MAX_PATH + 8];
    DWORD length = 0;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           &anchor, &self))
        length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return E_UNEXPECTED;
    lstrcpyA(path + length, ".calls");
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
    DWORD written;
    WriteFile(file, entry, (DWORD)lstrlenA(entry), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
    lstrcpyA(path + length, ".fail");
    return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES ? S_OK : E_FAIL;
}

HRESULT WINAPI DllRegisterServer(void) {
    return record("DllRegisterServer");
}

HRESULT WINAPI DllUnregisterServer(void) {
    return record("DllUnregisterServer");
}
