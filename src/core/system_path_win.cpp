// The conversion of the system's wide paths.
#include <windows.h>

#include "log.h"
#include "system_path.h"
#include "text.h"

namespace {

// Into the code page without loss: no '?' and no look-alike letter, which
// would name another file. Returns 0 when a character had no place there.
int to_code_page(const wchar_t* wide, char* text, int size) {
    BOOL lost = FALSE;
    int length =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, text, size, nullptr, &lost);
    if (length == 0) {
        text[0] = '\0';
    }
    return length > 0 && !lost;
}

// Both forms, each null when the code page cannot hold it.
void find_forms(const wchar_t* wide, char* exact, char* short_form, const char** found_exact,
                const char** found_short) {
    *found_exact = to_code_page(wide, exact, SYSTEM_PATH_SIZE) ? exact : nullptr;
    *found_short = nullptr;
    if (*found_exact) {
        return;
    }
    // Only a path that exists has a short form.
    wchar_t wide_short[SYSTEM_PATH_SIZE];
    DWORD length = GetShortPathNameW(wide, wide_short, SYSTEM_PATH_SIZE);
    if (length > 0 && length < SYSTEM_PATH_SIZE &&
        to_code_page(wide_short, short_form, SYSTEM_PATH_SIZE)) {
        *found_short = short_form;
    }
}

} // namespace

int system_path_from_wide(const wchar_t* wide, char* path, int size) {
    CORE_ASSERT_POINTER(wide);
    char exact[SYSTEM_PATH_SIZE];
    char short_form[SYSTEM_PATH_SIZE];
    const char* found_exact = nullptr;
    const char* found_short = nullptr;
    find_forms(wide, exact, short_form, &found_exact, &found_short);
    // The lossy form: what the 8-bit calls would have given.
    char shown[SYSTEM_PATH_SIZE];
    WideCharToMultiByte(CP_ACP, 0, wide, -1, shown, sizeof shown, nullptr, nullptr);
    shown[sizeof shown - 1] = '\0';
    return system_path_choose(shown, found_exact, found_short, path, size);
}

int system_path_unlogged(const wchar_t* wide, char* path, int size) {
    char exact[SYSTEM_PATH_SIZE];
    char short_form[SYSTEM_PATH_SIZE];
    const char* found_exact = nullptr;
    const char* found_short = nullptr;
    find_forms(wide, exact, short_form, &found_exact, &found_short);
    const char* form = found_exact ? found_exact : found_short;
    if (!form || !text_copy(path, size, form)) {
        path[0] = '\0';
        return 0;
    }
    return 1;
}
