// What an update leaves behind once the installer it started has ended.
#pragma once

struct InstallState;

// How long a file that a process which has just ended may still hold is tried.
enum { UPDATE_RELEASE_WAIT = 5000 };

// Deletes the downloaded installer, whatever its outcome, then the old
// uninstaller that an installer renames to "<UNINSTALL NAME>.old" when it
// cannot replace a running one. While the started process waits for this
// run's report it may still run from that file: the file then goes into
// deferred_file, to be deleted, if it is there, once that process has ended.
// Returns 1.
int update_remove_leftovers(InstallState* state, const char* installer);
