// Libraries through the Win32 loader.
#include <windows.h>

#include "core/log.h"
#include "core/text.h"
#include "library.h"

namespace {

// Self-registration entry points: STDAPI, so stdcall, no arguments, HRESULT.
typedef HRESULT(WINAPI* LibraryEntry)();

} // namespace

int library_load(const char* path, Library* library, unsigned* error) {
    CORE_ASSERT_POINTER(path);
    CORE_ASSERT_POINTER(library);
    CORE_ASSERT_POINTER(error);
    *library = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    *error = *library ? 0 : static_cast<unsigned>(GetLastError());
    return *library ? 1 : 0;
}

int library_call(Library library, const char* entry, int* result) {
    CORE_ASSERT_POINTER(library);
    CORE_ASSERT_POINTER(entry);
    CORE_ASSERT_POINTER(result);
    LibraryEntry function = reinterpret_cast<LibraryEntry>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, entry)));
    if (!function) {
        return 0;
    }
    *result = static_cast<int>(function());
    return 1;
}

int library_load_system(const char* name, const char* names, int count, void (**entries)(),
                        Library* library) {
    CORE_ASSERT_POINTER(name);
    CORE_ASSERT_POINTER(names);
    CORE_ASSERT_POINTER(entries);
    CORE_ASSERT_POINTER(library);
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    *library = nullptr;
    if (length == 0 || length >= sizeof path || !text_append(path, sizeof path, "\\") ||
        !text_append(path, sizeof path, name)) {
        return 0;
    }
    HMODULE loaded = LoadLibraryA(path);
    for (int i = 0; loaded && i < count; ++i, names += text_length(names) + 1) {
        entries[i] = reinterpret_cast<void (*)()>(GetProcAddress(loaded, names));
        if (!entries[i]) {
            FreeLibrary(loaded);
            loaded = nullptr;
        }
    }
    *library = loaded;
    return loaded ? 1 : 0;
}

int library_free(Library* library) {
    CORE_ASSERT_POINTER(library);
    if (*library) {
        FreeLibrary(*library);
    }
    *library = nullptr;
    return 1;
}
