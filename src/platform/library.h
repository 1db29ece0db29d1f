// Loading a library and calling one of its exported entry points.
#pragma once

// The platform's loaded-module handle (HMODULE on Windows). Null holds none.
struct HINSTANCE__;
typedef HINSTANCE__* Library;

// Loads the library at `path`; the libraries it depends on are looked for
// in its own folder first. On failure `library` is null, `error` holds the
// system's error code, and the result is 0.
int library_load(const char* path, Library* library, unsigned* error);

// Calls the exported function `entry`, which takes no arguments and returns
// a 32-bit result code, into `result`. Returns 0 when it is not exported.
int library_call(Library library, const char* entry, int* result);

// Loads the system library `name` from the system folder only (one of that
// name beside the program must never stand in for it) and finds each of its
// `count` exports named in `names`, which are written one after another,
// each ended by a zero, into `entries`. Returns 0, with nothing loaded, when
// the library or any export is missing.
int library_load_system(const char* name, const char* names, int count, void (**entries)(),
                        Library* library);

// Unloads the library and nulls the caller's handle. Returns 1.
int library_free(Library* library);
