// The commands that only store their arguments in the install state.
#include "core/log.h"
#include "script/arguments.h"
#include "script/commands.h"

namespace {

int store(InstallState* state, const char* arguments, char* field, int* consumed) {
    CORE_ASSERT_POINTER(state);
    return arg_take(state, arguments, field, STATE_TEXT_SIZE, consumed);
}

} // namespace

int cmd_company_name(InstallState* state, const char* arguments, int* consumed) {
    return store(state, arguments, state->company_name, consumed);
}

int cmd_product_name(InstallState* state, const char* arguments, int* consumed) {
    return store(state, arguments, state->product_name, consumed);
}

int cmd_product_version(InstallState* state, const char* arguments, int* consumed) {
    return store(state, arguments, state->product_version, consumed);
}

int cmd_text(InstallState* state, const char* arguments, int* consumed) {
    return store(state, arguments, state->text, consumed);
}

int cmd_update_url(InstallState* state, const char* arguments, int* consumed) {
    return store(state, arguments, state->update_url, consumed);
}

int cmd_update_key(InstallState* state, const char* arguments, int* consumed) {
    return store(state, arguments, state->update_key, consumed);
}

int cmd_registry_path(InstallState* state, const char* arguments, int* consumed) {
    return store(state, arguments, state->registry_path, consumed);
}

int cmd_install_name(InstallState* state, const char* arguments, int* consumed) {
    return store(state, arguments, state->install_name, consumed);
}

int cmd_uninstall_name(InstallState* state, const char* arguments, int* consumed) {
    return store(state, arguments, state->uninstall_name, consumed);
}

// The first argument gives the number; the second then replaces it as name.
int cmd_list_server(InstallState* state, const char* arguments, int* consumed) {
    store(state, arguments, state->list_server_name, consumed);
    state->list_server_number = arg_decimal(state->list_server_name);
    store(state, arguments, state->list_server_name, consumed);
    return store(state, arguments, state->list_server_text, consumed);
}

int cmd_install_size(InstallState* state, const char* arguments, int* consumed) {
    char number[STATE_TEXT_SIZE];
    store(state, arguments, number, consumed);
    state->install_size = arg_decimal(number);
    return 1;
}
