// Path macros and the special folders they name.
//
// A script names a file relative to the installation folder, or behind one or
// more macros at the very start of the name, each of which replaces what was
// built so far:
//
//   $0  Program Files folder ("ProgramFilesDir", else <system drive>\Program Files\)
//   $1  Windows folder          $2  system folder
//   $3  the program's folder    $4  temporary folder
//   $5  current folder          $?  nothing: the result stays as it was
//
// Every folder comes back with a trailing backslash.
#pragma once

struct InstallState;

// Size in bytes of the buffers that the folder queries fill.
enum { PATHS_FOLDER_SIZE = 320 };

// The full path of a script name in `output` (`size` bytes): `install_path`,
// or the last macro's folder, then the rest of the name less one leading
// backslash. Returns 0 when the result had to be cut short to fit (it is
// still terminated), otherwise 1.
int expand_path(const InstallState* state, const char* source, char* output, int size);

// Replaces every '/' with '\'; with `trailing` exactly 1 also makes the text
// end in '\' when there is room for one more. Returns 0 when there was none.
int fix_slashes(char* text, int size, int trailing);

// The Program Files folder from the registry, or the system drive's
// "Program Files\" when the registry does not tell. Returns 0 when cut short
// or when the folder it names has no 8-bit form.
int get_program_files_dir(char* folder, int size);

// The folder queries: on Windows in paths_win.cpp, on the host a test fake.
// A query that the system cannot answer in `size` bytes, or whose folder has
// no 8-bit form (core/system_path.h), yields an empty text, which then ends
// in '\' like any other folder, and returns 0. Otherwise they return 1.
int get_current_dir(char* folder, int size);
int get_temp_dir(char* folder, int size);
int get_windows_dir(char* folder, int size);
int get_system_dir(char* folder, int size);
// The running executable's folder: its path cut after the last backslash,
// which stays; empty when the path does not fit.
int get_module_dir(char* folder, int size);
