// Commands whose work lands with their own subsystems (the removal, the
// program-group shortcuts, the components). Until then each one reads exactly
// the arguments it will read, so that the run loop stays in step, and does
// nothing else. Each is replaced here by its real handler when it lands.
#include "core/log.h"
#include "script/arguments.h"
#include "script/commands.h"

namespace {

enum {
    PENDING_PATH_SIZE = 144,
    PENDING_LONG_SIZE = 320,
    PENDING_NUMBER_SIZE = 20,
    PENDING_VERB_SIZE = 40,
};

} // namespace

int cmd_file_list(InstallState* state, const char* arguments, int* consumed) {
    int names = 1;
    return arg_count(state, arguments, ',', &names, consumed);
}

int cmd_install_dir(InstallState* state, const char* arguments, int* consumed) {
    char folder[STATE_TEXT_SIZE];
    return arg_take(state, arguments, folder, sizeof folder, consumed);
}

int cmd_install_path(InstallState* state, const char* arguments, int* consumed) {
    char text[STATE_TEXT_SIZE];
    return arg_take(state, arguments, text, sizeof text, consumed);
}

int cmd_install(InstallState* state, const char*, int*) {
    CORE_ASSERT_POINTER(state);
    return 1;
}

int cmd_done(InstallState* state, const char* arguments, int* consumed) {
    char text[PENDING_LONG_SIZE];
    return arg_take(state, arguments, text, sizeof text, consumed);
}

int cmd_create_group(InstallState* state, const char* arguments, int* consumed) {
    char group[STATE_TEXT_SIZE];
    return arg_take(state, arguments, group, sizeof group, consumed);
}

int cmd_add_item(InstallState* state, const char* arguments, int* consumed) {
    char number[PENDING_NUMBER_SIZE];
    char target[STATE_TEXT_SIZE];
    char item_arguments[STATE_TEXT_SIZE];
    char item_name[STATE_TEXT_SIZE];
    arg_take(state, arguments, number, sizeof number, consumed);
    arg_take(state, arguments, target, sizeof target, consumed);
    arg_take(state, arguments, item_arguments, sizeof item_arguments, consumed);
    return arg_take(state, arguments, item_name, sizeof item_name, consumed);
}

int cmd_ole(InstallState* state, const char* arguments, int* consumed) {
    char verb[PENDING_VERB_SIZE];
    char file[PENDING_PATH_SIZE];
    arg_take(state, arguments, verb, sizeof verb, consumed);
    return arg_take(state, arguments, file, sizeof file, consumed);
}
