// REGISTER: the registration's texts, read in every run mode; in the two
// registration modes the flow runs, and a failure stops the mode's work.
#include "core/log.h"
#include "script/arguments.h"
#include "script/commands.h"
#include "script/handover.h"

int cmd_register(InstallState* state, const char* arguments, int* consumed) {
    CORE_ASSERT_POINTER(state);
    char url[STATE_TEXT_SIZE];
    char record_text[STATE_TEXT_SIZE];
    char question[STATE_TEXT_SIZE];
    arg_take(state, arguments, url, sizeof url, consumed);
    arg_take(state, arguments, record_text, sizeof record_text, consumed);
    arg_take(state, arguments, question, sizeof question, consumed);
    if (state->run_mode == RUN_REGISTER_STANDALONE || state->run_mode == RUN_REGISTER_INSTALLER) {
        if (!registration_run(state->owner_window, question, url, record_text, state)) {
            state->run_mode = RUN_NONE;
        }
    }
    state->text[0] = '\0';
    return 1;
}
