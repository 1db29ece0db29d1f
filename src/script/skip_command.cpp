// Commands that are accepted and ignored: their whole line is passed over.
#include "core/log.h"
#include "script/commands.h"

int cmd_skip_line(InstallState* state, const char* arguments, int* consumed) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(arguments);
    CORE_ASSERT_POINTER(consumed);
    // The run loop's extra byte passes the CR; the search for the next mark
    // passes the LF. Nothing at or past the appended zero is looked at.
    long long start = arguments - state->script_text;
    int count = 0;
    for (long long at = start; at < state->script_length; ++at, ++count) {
        char byte = state->script_text[at];
        if (byte == '\r' || byte == '\n' || byte == '\0') {
            break;
        }
    }
    *consumed = count;
    return 1;
}
