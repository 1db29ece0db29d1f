// Relocation: the process that the user started copies its executable into
// the temporary folder, starts the copy with "-Spawn" in front of its own
// arguments, and leaves the work to it.
#pragma once

// Buffer sizes of the relocation: the two paths and the copy's command line.
enum { RELOCATE_PATH_SIZE = 144, RELOCATE_COMMAND_SIZE = 512 };

// The copy's command line: "\"<copy path>\" -Spawn", then a space and the
// arguments byte for byte when there are any (`arguments` may be null).
// Returns 0, and the line must not be used, when it does not fit `size`.
int relocate_command_line(char* command_line, int size, const char* copy_path,
                          const char* arguments);

// Copies the executable to a fresh "Del*.exe" in the temporary folder and
// starts it. Every failure is only logged; a path or command line that would
// not fit its buffer starts nothing. Returns 1.
int relocate_and_spawn(const char* arguments);
