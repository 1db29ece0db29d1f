// Readers of a command's arguments inside the script text.
//
// An argument is the longest run of bytes of value 0x20 or above; the first
// byte below 0x20 (a control byte or the script's appended zero) ends it and
// is consumed with it. `arguments` points at the first byte after the
// keyword's ':' within state->script_text; `consumed` counts the bytes the
// handler has read from there. Nothing past the appended zero is ever read:
// an argument that starts at or past it is empty.
#pragma once

#include "script/install_state.h"

enum { SCRIPT_COMMAND_MARK = 0x16 };

// Copies the next argument into `destination`, cut to fit `size` bytes, and
// adds the whole argument and its end byte to `consumed`. Returns 1.
int arg_take(InstallState* state, const char* arguments, char* destination, int size,
             int* consumed);

// As arg_take, and tells whether the whole argument fitted: returns 0 when it
// had to be cut, so that a cut name is never taken for another one.
int arg_take_whole(InstallState* state, const char* arguments, char* destination, int size,
                   int* consumed);

// The first reader of a command's arguments: adds the occurrences of
// `character` in the first argument to `count` and sets `consumed` to the
// argument's length; its end byte is left for the run loop. Returns 1.
int arg_count(InstallState* state, const char* arguments, char character, int* count,
              int* consumed);

// A signed decimal: leading white space, one optional sign, then digits up to
// the first non-digit; no digits give 0. Beyond 32 bits it wraps around
// (text_decimal_wrapping).
int arg_decimal(const char* text);
