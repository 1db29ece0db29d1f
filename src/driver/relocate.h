// Relocation: the process that the user started copies its executable into
// the temporary folder, starts the copy with "-Spawn" in front of its own
// arguments, and leaves the work to it. The copy is opened for deletion on
// close and that handle is inherited, so the copy's file goes when the copy
// ends. With "-Quiet" the started process waits: the copy gets
// "-Waiting:<process>,<pipe>", the numbers of two inherited handles (the
// started process, the write end of a pipe) in hexadecimal, writes its exit
// code into the pipe when its work is done, and deletes the installed
// executable once the started process has ended.
#pragma once

// Buffer sizes of the relocation: the two paths and the copy's command line.
enum { RELOCATE_PATH_SIZE = 144, RELOCATE_COMMAND_SIZE = 512 };

// Handles of the started process, as the copy's command line gives them.
struct RelocateWaiting {
    unsigned process;
    unsigned pipe;
};

// The copy's command line: "\"<copy path>\" -Spawn", then " -Waiting:%X,%X"
// when `waiting` is not null, then a space and the arguments byte for byte
// when there are any (`arguments` may be null). Returns 0, and the line must
// not be used, when it does not fit `size`.
int relocate_command_line(char* command_line, int size, const char* copy_path,
                          const RelocateWaiting* waiting, const char* arguments);

// Reads "-Waiting:" (any case) and its two numbers from a command line.
// Returns 0 when the option is absent or its numbers are not whole.
int relocate_waiting_from(const char* command_line, RelocateWaiting* waiting);

// Copies the executable to a fresh "Del*.exe" in the temporary folder and
// starts it. Every failure is logged; a path or command line that would not
// fit its buffer starts nothing. With `wait` 1 the copy is told to report,
// and `*exit_code` becomes its code: the one it reported, else its exit
// code, else 1 when it could not be started. Returns 1 when it started.
int relocate_and_spawn(const char* arguments, int wait, int* exit_code);

// The copy's side of the wait: reports `exit_code` to the started process
// and waits (a minute at most) until that process has ended. Returns 1.
int relocate_report(const RelocateWaiting* waiting, int exit_code);
