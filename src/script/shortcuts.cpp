// CREATE GROUP and ADD ITEM, and the shortcut paths they name.
#include "shortcuts.h"

#include "core/log.h"
#include "core/text.h"
#include "platform/shell_folder.h"
#include "script/arguments.h"
#include "script/commands.h"
#include "script/file_removal.h"
#include "script/handover.h"

namespace {

enum { SHORTCUT_NUMBER_SIZE = 20 };

char g_current_group[STATE_TEXT_SIZE];
// 0 when the current group's name was cut to fit: its folder is then unknown.
int g_group_whole = 1;

enum { SHORTCUT_NAME_CUT = 0, SHORTCUT_NAME_WHOLE = 1 };

// remove_item for an item name that may have been cut to fit (`whole` 0):
// the shortcut of a cut name is not deleted.
int remove_shortcut(const char* target, const char* arguments, const char* item, int whole,
                    RemovalLeftovers* leftovers) {
    log_printf("Delete Item = '%s' : '%s' ('%s' / '%s')\n", g_current_group, item, target,
               arguments);
    char path[SHORTCUT_PATH_SIZE];
    whole = shortcut_path(path, sizeof path, item) && whole;
    if (path_is_usable(path, whole)) {
        delete_file(path, leftovers);
    }
    return 1;
}

} // namespace

int current_group_clear() {
    g_current_group[0] = '\0';
    g_group_whole = 1;
    return 1;
}

const char* current_group() {
    return g_current_group;
}

int group_folder(const char* group, char* folder, int size) {
    CORE_ASSERT_POINTER(group);
    CORE_ASSERT_POINTER(folder);
    char programs[SHELL_FOLDER_SIZE];
    shell_programs_folder(programs, sizeof programs);
    int whole = text_copy(folder, size, programs);
    if (group[0] != '\0') {
        int length = text_length(folder);
        if (length == 0 || folder[length - 1] != '\\') {
            whole = text_append(folder, size, "\\") && whole;
        }
        whole = text_append(folder, size, group) && whole;
    }
    return whole;
}

int shortcut_path(char* path, int size, const char* item) {
    CORE_ASSERT_POINTER(item);
    char folder[SHORTCUT_PATH_SIZE];
    int whole = group_folder(g_current_group, folder, sizeof folder);
    return text_format(path, size, "%s\\%s.lnk", folder, item) && whole && g_group_whole;
}

int set_group(const char* group) {
    char folder[SHORTCUT_PATH_SIZE];
    group_folder(group, folder, sizeof folder);
    log_printf("Delete Group = '%s'\n", folder);
    g_group_whole = text_copy(g_current_group, sizeof g_current_group, group);
    return 1;
}

int remove_item(const char* target, const char* arguments, const char* item) {
    return remove_shortcut(target, arguments, item, SHORTCUT_NAME_WHOLE, nullptr);
}

int cmd_create_group(InstallState* state, const char* arguments, int* consumed) {
    char group[STATE_TEXT_SIZE];
    int whole = arg_take_whole(state, arguments, group, sizeof group, consumed);
    set_group(group);
    g_group_whole = whole;
    return 1;
}

int cmd_add_item(InstallState* state, const char* arguments, int* consumed) {
    char number[SHORTCUT_NUMBER_SIZE];
    char target[STATE_TEXT_SIZE];
    char item_arguments[STATE_TEXT_SIZE];
    char item[STATE_TEXT_SIZE];
    arg_take(state, arguments, number, sizeof number, consumed);
    arg_take(state, arguments, target, sizeof target, consumed);
    arg_take(state, arguments, item_arguments, sizeof item_arguments, consumed);
    int whole = arg_take_whole(state, arguments, item, sizeof item, consumed);
    if (state->run_mode == RUN_UNINSTALL) {
        return remove_shortcut(target, item_arguments, item, whole, &state->leftovers);
    }
    if (text_equal_nocase(item_arguments, "-Register")) {
        whole =
            shortcut_path(state->register_shortcut, sizeof state->register_shortcut, item) && whole;
        // Only a path that names the shortcut itself may be deleted later.
        if (!path_is_usable(state->register_shortcut, whole)) {
            state->register_shortcut[0] = '\0';
        }
    }
    return 1;
}
