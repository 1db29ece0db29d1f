// The install script: loading it from the archive, running it command by
// command, and freeing it.
//
// Byte format: a command is the mark 0x16, its keyword up to ':' (at most 39
// characters), then its arguments, each ended by one byte below 0x20; commands
// stand one per line (CR LF). Bytes outside commands are ignored.
#pragma once

#include "script/install_state.h"

// Creates the install state and reads the script `name` from the archive into
// it, with one zero byte appended. Returns 0 (and creates nothing) when the
// script cannot be found or read.
int script_load(InstallState** state, const char* name, int run_mode);

// Runs the script from run_position to its end. Returns 0 at the first
// unknown keyword (after the "Installation script corrupted!" box) or failed
// command, 1 after the summary lines when every command succeeded.
int script_run(InstallState* state, void* owner_window);

// Frees the script text and the state, and empties the caller's pointer.
int script_free(InstallState** state);
