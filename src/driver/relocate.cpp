#include "relocate.h"

#include "core/log.h"
#include "core/text.h"

namespace {

enum { RELOCATE_OPTION_SIZE = 32 };

// Reads up to eight hexadecimal digits at `*at` and moves past them.
// Returns 0 when there is none or more follow.
int read_hex(const char** at, unsigned* value) {
    const char* text = *at;
    int digits = 0;
    for (*value = 0;; ++text, ++digits) {
        char c = static_cast<char>(*text | 0x20);
        unsigned digit = 0;
        if (*text >= '0' && *text <= '9') {
            digit = static_cast<unsigned>(*text - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            break;
        }
        if (digits == 8) {
            return 0;
        }
        *value = *value << 4 | digit;
    }
    *at = text;
    return digits > 0;
}

} // namespace

int relocate_command_line(char* command_line, int size, const char* copy_path,
                          const RelocateWaiting* waiting, const char* arguments) {
    CORE_ASSERT_POINTER(command_line);
    CORE_ASSERT_POINTER(copy_path);
    char option[RELOCATE_OPTION_SIZE] = "";
    if (waiting) {
        text_format(option, sizeof option, " -Waiting:%X,%X", waiting->process, waiting->pipe);
    }
    return text_format(command_line, size, "\"%s\" -Spawn%s%s%s", copy_path, option,
                       arguments ? " " : "", arguments ? arguments : "");
}

int relocate_waiting_from(const char* command_line, RelocateWaiting* waiting) {
    CORE_ASSERT_POINTER(command_line);
    CORE_ASSERT_POINTER(waiting);
    const char* at = nullptr;
    if (!text_find_nocase(command_line, "-Waiting:", &at)) {
        return 0;
    }
    at += 9;
    if (!read_hex(&at, &waiting->process) || *at++ != ',') {
        return 0;
    }
    return read_hex(&at, &waiting->pipe);
}
