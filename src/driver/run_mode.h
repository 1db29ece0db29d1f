// Run modes: what the command line asks the program to do.
#pragma once

enum {
    RUN_NONE = 0,                // a handler stopped the mode's work
    RUN_UNINSTALL = 3,           // no option: remove the product
    RUN_REGISTER_STANDALONE = 4, // "-Register"
    RUN_REGISTER_INSTALLER = 6,  // "-InstReg": started by the installer, runs in place
    RUN_UPDATE = 7,              // "-Update"
};

// Options are case-insensitive substrings of the full command line, the
// program's own path included; a later test overrides an earlier one.
int run_mode_from_command_line(const char* command_line);

// 1 when this process must copy itself to the temporary folder and restart
// the copy: every mode but "-InstReg" unless "-Spawn" is present.
int run_mode_relocates(int run_mode, const char* command_line);
