#include "own_path.h"

#include "core/log.h"
#include "core/text.h"

int own_path_complete(char* path, int size) {
    CORE_ASSERT_POINTER(path);
    const char* found = nullptr;
    const char extension[] = ".exe";
    if (!text_find_nocase(path, extension, &found) &&
        text_length(path) + text_length(extension) < size) {
        text_append(path, size, extension);
    }
    return 1;
}
