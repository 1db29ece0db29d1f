// The program's own path, as the archive reader is given it.
#pragma once

// The archive sits behind the program's own file, which is opened by a name
// with its extension: when ".exe" occurs nowhere in `path` (in any letter
// case), appends it, provided the result still fits `size` bytes. Returns 1.
int own_path_complete(char* path, int size);
