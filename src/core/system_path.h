// Paths from the system, in the program's 8-bit text.
//
// The program works in the system's ANSI code page. The system's 8-bit calls
// give a character outside it as '?', and no later call finds that path. So
// paths are taken with the wide calls and handed on as the path itself when
// the code page holds it, else as its short (8.3) form when that converts
// whole, which the 8-bit calls open alike; a path with neither (short names
// switched off on its volume) is refused in the log.
#pragma once

// Buffer size of every form of a path that the conversion handles.
enum { SYSTEM_PATH_SIZE = 520 };

// Copies the first usable form into `path` (`size` bytes): `exact` (the path
// in the code page), else `short_form` (its short form in the code page);
// either is null when the code page does not hold it. `shown` is the path as
// the log can show it. Logs the short form's use and the refusal. Returns 0,
// with `path` empty, when there is no form or it does not fit.
int system_path_choose(const char* shown, const char* exact, const char* short_form, char* path,
                       int size);

// Windows: `wide`, a zero-terminated path from a wide call, as above.
int system_path_from_wide(const wchar_t* wide, char* path, int size);
// The same without a log line, for the log's own path.
int system_path_unlogged(const wchar_t* wide, char* path, int size);
