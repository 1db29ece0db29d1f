// Libraries through the Win32 loader.
#include <windows.h>

#include "core/log.h"
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

int library_free(Library* library) {
    CORE_ASSERT_POINTER(library);
    if (*library) {
        FreeLibrary(*library);
    }
    *library = nullptr;
    return 1;
}
