#include "relocate.h"

#include "core/log.h"
#include "core/text.h"

int relocate_command_line(char* command_line, int size, const char* copy_path,
                          const char* arguments) {
    CORE_ASSERT_POINTER(command_line);
    CORE_ASSERT_POINTER(copy_path);
    if (arguments) {
        return text_format(command_line, size, "\"%s\" -Spawn %s", copy_path, arguments);
    }
    return text_format(command_line, size, "\"%s\" -Spawn", copy_path);
}
