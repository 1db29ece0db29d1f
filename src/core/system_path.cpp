#include "system_path.h"

#include "log.h"
#include "text.h"

int system_path_choose(const char* shown, const char* exact, const char* short_form, char* path,
                       int size) {
    CORE_ASSERT_POINTER(shown);
    CORE_ASSERT_POINTER(path);
    if (exact) {
        if (text_copy(path, size, exact)) {
            return 1;
        }
    } else if (short_form) {
        log_printf("Path '%s' is outside the code page: using '%s'\n", shown, short_form);
        if (text_copy(path, size, short_form)) {
            return 1;
        }
    } else {
        log_printf("Path '%s' is outside the code page and has no short name\n", shown);
    }
    path[0] = '\0';
    return 0;
}
