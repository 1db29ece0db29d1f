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

// Unloads the library and nulls the caller's handle. Returns 1.
int library_free(Library* library);
