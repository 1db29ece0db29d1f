// OLE: the uninstall run unregisters the components that the script names.
#include "components.h"

#include "core/log.h"
#include "core/text.h"
#include "platform/library.h"
#include "script/arguments.h"
#include "script/commands.h"
#include "script/file_removal.h"
#include "script/handover.h"
#include "script/paths.h"

namespace {

enum { COMPONENT_VERB_SIZE = 40, COMPONENT_PATH_SIZE = 144 };

} // namespace

int register_component(const char* path, int direction) {
    CORE_ASSERT_POINTER(path);
    Library library = nullptr;
    unsigned error = 0;
    if (!library_load(path, &library, &error)) {
        log_printf("Error attempting to load '%s' (0x%.8X)\n", path, error);
        return 0;
    }
    const char* entry =
        direction == COMPONENT_REGISTER ? "DllRegisterServer" : "DllUnregisterServer";
    int result = 0;
    int done = 0;
    if (!library_call(library, entry, &result)) {
        log_printf("Couldn't get entry point from '%s'\n", path);
    } else if (result < 0) {
        log_printf("Failed in executing entry point from '%s'\n", path);
    } else {
        done = 1;
    }
    library_free(&library);
    return done;
}

// The script marks a component with the verb of the installation, so the
// uninstall run goes the opposite way: REGISTER unregisters.
int cmd_ole(InstallState* state, const char* arguments, int* consumed) {
    CORE_ASSERT_POINTER(state);
    char verb[COMPONENT_VERB_SIZE];
    char name[COMPONENT_PATH_SIZE];
    arg_take(state, arguments, verb, sizeof verb, consumed);
    int whole = arg_take_whole(state, arguments, name, sizeof name, consumed);
    if (state->run_mode != RUN_UNINSTALL) {
        return 1;
    }
    char path[COMPONENT_PATH_SIZE];
    whole = expand_path(state, name, path, sizeof path) && whole;
    log_printf("OLE: %s '%s'\n", verb, path);
    if (path_is_usable(path, whole)) {
        register_component(path, text_equal_nocase(verb, "REGISTER") ? COMPONENT_UNREGISTER
                                                                     : COMPONENT_REGISTER);
    }
    return 1;
}
