#include "update/leftovers.h"

#include "core/log.h"
#include "core/text.h"
#include "platform/files.h"
#include "script/file_removal.h"
#include "script/install_state.h"
#include "script/paths.h"

int update_remove_leftovers(InstallState* state, const char* installer) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(installer);
    delete_file_patiently(installer, UPDATE_RELEASE_WAIT, nullptr);
    if (state->uninstall_name[0] == '\0') {
        return 1;
    }
    // Found where the removal finds the uninstaller.
    char old[STATE_TEXT_SIZE];
    if (!expand_path(state, state->uninstall_name, old, sizeof old) ||
        !text_append(old, sizeof old, ".old") || !path_is_full(old)) {
        return 1;
    }
    if (state->uninstaller_waits) {
        text_copy(state->deferred_file, sizeof state->deferred_file, old);
    } else if (file_exists(old)) {
        delete_file(old, nullptr);
    }
    return 1;
}
