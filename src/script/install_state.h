// The one record that the install script fills and every later step reads.
#pragma once

#include "script/file_removal.h"

enum { STATE_TEXT_SIZE = 160 };

struct InstallState {
    void* owner_window; // owner of the registration and update dialogs; null from start-up
    int run_mode;       // RUN_* (driver/run_mode.h); RUN_NONE stops a mode's work
    char* script_text;  // owned: script_length bytes and one zero byte
    int script_length;
    char text[STATE_TEXT_SIZE];
    char company_name[STATE_TEXT_SIZE];
    char product_name[STATE_TEXT_SIZE];
    char product_version[STATE_TEXT_SIZE];
    int list_server_number;
    char list_server_name[STATE_TEXT_SIZE];
    char list_server_text[STATE_TEXT_SIZE];
    char registry_path[STATE_TEXT_SIZE]; // key under HKEY_CURRENT_USER holding "Install Path"
    int install_size;
    char install_path[STATE_TEXT_SIZE]; // full installation folder, with a trailing backslash
    char install_dir[STATE_TEXT_SIZE];  // relative to Program Files, with a trailing backslash
    char install_name[STATE_TEXT_SIZE];
    char uninstall_name[STATE_TEXT_SIZE];
    char register_shortcut[STATE_TEXT_SIZE];
    char update_url[STATE_TEXT_SIZE];
    char update_key[STATE_TEXT_SIZE]; // pinned: only updates signed with it are installed
    int update_outcome;               // the exit code of an unattended update
    int file_count;
    const char* file_list;    // into script_text: names separated by ','
    const char* run_position; // into script_text: where the run loop stands
    int install_missing;      // INSTALL found no installation to remove
    int removal_done;         // INSTALL was answered Yes, found the installation, walked its files
    // The started process waits for this one ("-Quiet"): its own file, the
    // UNINSTALL NAME, is deleted only after it has ended, into deferred_file;
    // so is the update's old uninstaller (update/leftovers.h), if it is there.
    int uninstaller_waits;
    char deferred_file[STATE_TEXT_SIZE];
    RemovalLeftovers leftovers;
};

// A command's handler: `arguments` is the first byte after the keyword's ':'
// inside script_text; the handler advances `consumed` (preset to 0) by the
// bytes it read. Returns 1 for success, 0 for failure.
typedef int (*CommandHandler)(InstallState* state, const char* arguments, int* consumed);
