// The commands that find the installed product and remove it: FILE LIST,
// INSTALL DIR, INSTALL PATH, INSTALL and DONE, which closes every run mode.
#include "core/log.h"
#include "core/text.h"
#include "driver/identity.h"
#include "platform/registry.h"
#include "platform/window.h"
#include "script/arguments.h"
#include "script/commands.h"
#include "script/file_removal.h"
#include "script/handover.h"
#include "script/paths.h"

namespace {

enum {
    UNINSTALL_NAME_SIZE = 144,     // a name from the file list, and the question
    UNINSTALL_PATH_SIZE = 144,     // a full path to delete
    UNINSTALL_FOLDER_SIZE = 320,   // the installation folder being computed
    UNINSTALL_KEY_SIZE = 320,      // the uninstall entry's key path
    UNINSTALL_ARGUMENT_SIZE = 320, // DONE's argument
    UNINSTALL_MORE_SIZE = 32,      // the count of the leftovers not named
};

// What a key may still hold when it is deleted: the product's key goes with
// its values, a parent only when it is empty.
enum { UNINSTALL_KEY_EMPTY = 0, UNINSTALL_KEY_WITH_VALUES = 1 };

const char g_install_path_value[] = "Install Path";
// Written by a registration; goes with "Install Path" when the key itself must stay.
const char g_registered_version_value[] = "Registered Version";
const char g_not_found[] = "Unable to find previous installation; files could not be removed.";
const char g_removed_except[] =
    " has been uninstalled, except for these files, which could not be deleted:";
const char g_uninstall_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s %s";

// `before`, the company and product names with one space between them, and
// `after`. Long names are cut so that `after` always fits: a question keeps
// its question mark, a notice its last word.
void format_with_names(const InstallState* state, char* text, int size, const char* before,
                       const char* after) {
    text_copy(text, size, before);
    char names[2 * STATE_TEXT_SIZE];
    int room = size - text_length(before) - text_length(after);
    CORE_ASSERT(room > 0 && room <= static_cast<int>(sizeof names), "No room for the names (%d)\n",
                room);
    text_format(names, room, "%s %s", state->company_name, state->product_name);
    text_append(text, size, names);
    text_append(text, size, after);
}

// Takes the next name of the file list at `*cursor` and moves past it: a ','
// ends the name and is passed over; a control byte ends it and stays, so any
// further names are empty. Returns 0 when the name had to be cut to fit.
int next_list_name(const char** cursor, char* name, int size) {
    const char* at = *cursor;
    int length = 0;
    int whole = 1;
    for (; static_cast<unsigned char>(*at) >= 0x20 && *at != ','; ++at) {
        if (length < size - 1) {
            name[length++] = *at;
        } else {
            whole = 0;
        }
    }
    name[length] = '\0';
    *cursor = *at == ',' ? at + 1 : at;
    return whole;
}

// Reads "Install Path" of the product's key into install_path. Returns 0 when
// the value is there but does not fit the field: the installation folder is
// then unknown, and nothing may be removed from a guessed one.
int read_install_path(InstallState* state) {
    RegKey key = nullptr;
    if (!reg_open_key(&key, REG_ROOT_CURRENT_USER, state->registry_path)) {
        CORE_ABORT("Unable to open key '%s'\n", state->registry_path);
    }
    int readable = reg_get_path(key, g_install_path_value, state->install_path,
                                  sizeof state->install_path) ||
                   !reg_value_exists(key, g_install_path_value);
    reg_close_key(&key);
    return readable;
}

// The folder from the script and the Program Files folder, into install_path;
// empty when it does not fit, so that no relative name reaches a wrong folder.
void compute_install_path(InstallState* state) {
    int whole = expand_path(state, "$0", state->install_path, sizeof state->install_path);
    char folder[UNINSTALL_FOLDER_SIZE];
    whole = expand_path(state, state->install_dir, folder, sizeof folder) && whole;
    if (!whole || !text_copy(state->install_path, sizeof state->install_path, folder)) {
        log_printf("Path too long '%s'\n", folder);
        state->install_path[0] = '\0';
    }
}

// One name of the removal, expanded: its full path and whether nothing was cut.
struct Removal {
    char path[UNINSTALL_PATH_SIZE];
    int whole;
};

// The walk over the file list, then UNINSTALL NAME and INSTALL NAME.
struct RemovalWalk {
    const InstallState* state;
    const char* cursor;
    int index; // of the next name; the file list's names come first
};

enum { REMOVAL_TAKE = 0, REMOVAL_LOOK_AHEAD = 1 };

// Expands the walk's next name into `removal`. Returns 0 when there is none,
// or when `ahead` is 1 and the name starts with a macro: macros log as they
// expand, so such a name waits for its turn.
int removal_next(RemovalWalk* walk, Removal* removal, int ahead) {
    const InstallState* state = walk->state;
    char name[UNINSTALL_NAME_SIZE];
    int whole = 1;
    int index = walk->index++;
    if (index < state->file_count) {
        whole = next_list_name(&walk->cursor, name, sizeof name);
    } else if (index == state->file_count && state->uninstall_name[0] != '\0') {
        text_copy(name, sizeof name, state->uninstall_name);
    } else if (index <= state->file_count + 1 && state->install_name[0] != '\0') {
        walk->index = state->file_count + 2;
        text_copy(name, sizeof name, state->install_name);
    } else {
        return 0;
    }
    if (ahead && name[0] == '$') {
        return 0;
    }
    removal->whole = expand_path(state, name, removal->path, sizeof removal->path) && whole;
    return 1;
}

// Deletes every name in turn. The next name is expanded one step ahead when
// that logs nothing, so that each deletion knows whether its folder still
// holds the next file.
void remove_files(InstallState* state) {
    show_progress_window(WINDOW_SHOWN);
    RemovalWalk walk = {state, state->file_list, 0};
    Removal removals[2];
    Removal* current = &removals[0];
    Removal* next = &removals[1];
    int position = 0;
    int has_current = removal_next(&walk, current, REMOVAL_TAKE);
    while (has_current) {
        if (position < state->file_count) {
            update_progress(static_cast<double>(position) / state->file_count * 100.0);
        }
        ++position;
        int ahead = 0;
        RemovalWalk peek = walk;
        if (removal_next(&peek, next, REMOVAL_LOOK_AHEAD)) {
            walk = peek;
            ahead = 1;
        }
        int uninstaller = position == state->file_count + 1 && state->uninstall_name[0] != '\0';
        if (path_is_usable(current->path, current->whole)) {
            if (uninstaller && state->uninstaller_waits) {
                // The started process still runs from it: deleted once it has ended.
                text_copy(state->deferred_file, sizeof state->deferred_file, current->path);
            } else {
                int hint = ahead && next->whole && path_is_full(next->path);
                delete_file_before(current->path, hint ? next->path : nullptr, &state->leftovers);
            }
        }
        if (!ahead) {
            has_current = removal_next(&walk, next, REMOVAL_TAKE);
        }
        Removal* done = current;
        current = next;
        next = done;
    }
    show_progress_window(WINDOW_HIDDEN);
}

void delete_uninstall_entry(const InstallState* state) {
    char key[UNINSTALL_KEY_SIZE];
    if (!text_format(key, sizeof key, g_uninstall_key, state->company_name, state->product_name)) {
        log_printf("Path too long '%s'\n", key);
        return;
    }
    if (reg_key_exists(REG_ROOT_LOCAL_MACHINE, key)) {
        reg_delete_key(REG_ROOT_LOCAL_MACHINE, key);
    }
}

// Cuts a key path to its parent. Returns 0, and leaves the path alone, when
// the parent would be the path's first component (such as "Software"), which
// is never deleted.
int cut_to_parent_key(char* path) {
    int cut = -1;
    int separators = 0;
    for (int at = 0; path[at] != '\0'; ++at) {
        if (path[at] == '\\') {
            cut = at;
            ++separators;
        }
    }
    if (separators < 2) {
        return 0;
    }
    path[cut] = '\0';
    return 1;
}

// Whether the key at `path` holds no subkeys, and no values unless `holding`
// allows them, and so may go. The maker's key never goes: the registrant
// details in it serve every product of the maker's.
int key_may_go(const char* path, int holding) {
    RegKey key = nullptr;
    if (text_equal_nocase(path, PROGRAM_MAKER_KEY) ||
        !reg_open_key(&key, REG_ROOT_CURRENT_USER, path)) {
        return 0;
    }
    int subkeys = 1;
    int values = 1;
    int counted = reg_key_contents(key, &subkeys, &values);
    reg_close_key(&key);
    return counted && subkeys == 0 && (holding == UNINSTALL_KEY_WITH_VALUES || values == 0);
}

// The product's own key goes with a complete removal, values and all, and so
// does each parent that it leaves empty. A key that holds other keys, or the
// maker's, stays, less the two values that the installer and a registration
// wrote in it.
void delete_product_key(const InstallState* state) {
    char path[STATE_TEXT_SIZE];
    text_copy(path, sizeof path, state->registry_path);
    if (!key_may_go(path, UNINSTALL_KEY_WITH_VALUES)) {
        RegKey key = nullptr;
        if (reg_open_key(&key, REG_ROOT_CURRENT_USER, path)) {
            const char* const written[] = {g_install_path_value, g_registered_version_value};
            for (const char* name : written) {
                if (reg_value_exists(key, name)) {
                    reg_delete_value(key, name);
                }
            }
            reg_close_key(&key);
        }
        return;
    }
    do {
        log_printf("Delete key '%s'\n", path);
    } while (reg_delete_key(REG_ROOT_CURRENT_USER, path) && cut_to_parent_key(path) &&
             key_may_go(path, UNINSTALL_KEY_EMPTY));
}

// The final notice. When files or folders stayed, it names the first few and
// counts the rest: a partial removal is never told as a complete one.
void notify_removed(const InstallState* state) {
    const RemovalLeftovers* leftovers = &state->leftovers;
    char notice[2 * STATE_TEXT_SIZE + REMOVAL_NAMED * (REMOVAL_FOLDER_SIZE + 1) +
                UNINSTALL_MORE_SIZE];
    if (leftovers->count == 0) {
        format_with_names(state, notice, STATE_TEXT_SIZE, "", " has been uninstalled!");
    } else {
        format_with_names(state, notice, 2 * STATE_TEXT_SIZE, "", g_removed_except);
        for (int i = 0; i < leftovers->count && i < REMOVAL_NAMED; ++i) {
            text_append(notice, sizeof notice, "\n");
            text_append(notice, sizeof notice, leftovers->names[i]);
        }
        if (leftovers->count > REMOVAL_NAMED) {
            char more[UNINSTALL_MORE_SIZE];
            text_format(more, sizeof more, "\nand %d more.", leftovers->count - REMOVAL_NAMED);
            text_append(notice, sizeof notice, more);
        }
    }
    message_notify(notice, "Uninstaller...");
}

} // namespace

int cmd_file_list(InstallState* state, const char* arguments, int* consumed) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(arguments);
    // A command cut by the end of the script starts its arguments past the
    // appended zero: the list is then that zero, one empty name.
    const char* end = state->script_text + state->script_length;
    state->file_list = arguments < end ? arguments : end;
    state->file_count = 1;
    return arg_count(state, arguments, ',', &state->file_count, consumed);
}

int cmd_install_dir(InstallState* state, const char* arguments, int* consumed) {
    CORE_ASSERT_POINTER(state);
    char* folder = state->install_dir;
    arg_take(state, arguments, folder, sizeof state->install_dir, consumed);
    int length = text_length(folder);
    if (length > 0 && folder[length - 1] != '\\') {
        // A folder too long for its separator is too long for install_path as
        // well, which INSTALL PATH then refuses.
        text_append(folder, sizeof state->install_dir, "\\");
    }
    return 1;
}

int cmd_install_path(InstallState* state, const char* arguments, int* consumed) {
    CORE_ASSERT_POINTER(state);
    arg_take(state, arguments, state->text, sizeof state->text, consumed);
    compute_install_path(state);
    RegKey key = nullptr;
    if (state->registry_path[0] != '\0' &&
        reg_open_key(&key, REG_ROOT_CURRENT_USER, state->registry_path)) {
        reg_get_path(key, g_install_path_value, state->install_path, sizeof state->install_path);
        reg_close_key(&key);
    }
    state->text[0] = '\0';
    return 1;
}

int cmd_install(InstallState* state, const char*, int*) {
    CORE_ASSERT_POINTER(state);
    if (state->run_mode != RUN_UNINSTALL) {
        return 1;
    }
    char question[UNINSTALL_NAME_SIZE];
    format_with_names(state, question, sizeof question, "Are you sure you want to uninstall ", "?");
    if (!message_confirm(question, nullptr)) {
        state->run_mode = RUN_NONE;
        return 1;
    }
    if (state->registry_path[0] != '\0') {
        if (!reg_key_exists(REG_ROOT_CURRENT_USER, state->registry_path) ||
            !read_install_path(state)) {
            message_notify(g_not_found, nullptr);
            state->install_missing = 1;
            state->run_mode = RUN_NONE;
            return 1;
        }
    }
    remove_files(state);
    state->removal_done = 1;
    return 1;
}

int cmd_done(InstallState* state, const char* arguments, int* consumed) {
    CORE_ASSERT_POINTER(state);
    switch (state->run_mode) {
    case RUN_UNINSTALL: {
        if (state->uninstall_name[0] != '\0') {
            delete_uninstall_entry(state);
        }
        // With anything left over the key stays, so that the uninstaller can
        // find the installation again and finish.
        if (state->removal_done && state->leftovers.count == 0 && state->registry_path[0] != '\0') {
            delete_product_key(state);
        }
        char unused[UNINSTALL_ARGUMENT_SIZE];
        arg_take(state, arguments, unused, sizeof unused, consumed);
        notify_removed(state);
        break;
    }
    case RUN_REGISTER_STANDALONE:
    case RUN_REGISTER_INSTALLER:
        if (state->register_shortcut[0] != '\0') {
            delete_file(state->register_shortcut, nullptr);
        }
        break;
    case RUN_UPDATE:
        update_run(state->owner_window, state);
        break;
    default:
        break;
    }
    return 1;
}
