// REGISTER: the registration's texts, read in every run mode.
#include "core/log.h"
#include "script/arguments.h"
#include "script/commands.h"

int cmd_register(InstallState* state, const char* arguments, int* consumed) {
    CORE_ASSERT_POINTER(state);
    char first[STATE_TEXT_SIZE];
    char second[STATE_TEXT_SIZE];
    char third[STATE_TEXT_SIZE];
    arg_take(state, arguments, first, sizeof first, consumed);
    arg_take(state, arguments, second, sizeof second, consumed);
    arg_take(state, arguments, third, sizeof third, consumed);
    state->text[0] = '\0';
    return 1;
}
