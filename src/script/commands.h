// Every command handler of the install script (keyword_list.h pairs them with
// their keywords). Each is a CommandHandler: it reads its arguments with the
// readers of arguments.h, advances `consumed`, and returns 1 or 0.
#pragma once

#include "script/install_state.h"

// Storing commands: they act in every run mode and always succeed.
int cmd_company_name(InstallState* state, const char* arguments, int* consumed);
int cmd_product_name(InstallState* state, const char* arguments, int* consumed);
int cmd_product_version(InstallState* state, const char* arguments, int* consumed);
int cmd_text(InstallState* state, const char* arguments, int* consumed);
int cmd_update_url(InstallState* state, const char* arguments, int* consumed);
int cmd_update_key(InstallState* state, const char* arguments, int* consumed);
int cmd_registry_path(InstallState* state, const char* arguments, int* consumed);
int cmd_install_name(InstallState* state, const char* arguments, int* consumed);
int cmd_uninstall_name(InstallState* state, const char* arguments, int* consumed);
int cmd_list_server(InstallState* state, const char* arguments, int* consumed);
int cmd_install_size(InstallState* state, const char* arguments, int* consumed);

// Registration: takes its three texts and leaves `text` empty.
int cmd_register(InstallState* state, const char* arguments, int* consumed);

// Accepted and ignored: consumes the rest of the line.
int cmd_skip_line(InstallState* state, const char* arguments, int* consumed);

// The files, the installation folder, the removal and the run's close.
int cmd_file_list(InstallState* state, const char* arguments, int* consumed);
int cmd_install_dir(InstallState* state, const char* arguments, int* consumed);
int cmd_install_path(InstallState* state, const char* arguments, int* consumed);
int cmd_install(InstallState* state, const char* arguments, int* consumed);
int cmd_done(InstallState* state, const char* arguments, int* consumed);

// Program-group shortcuts and self-registering components.
int cmd_create_group(InstallState* state, const char* arguments, int* consumed);
int cmd_add_item(InstallState* state, const char* arguments, int* consumed);
int cmd_ole(InstallState* state, const char* arguments, int* consumed);
