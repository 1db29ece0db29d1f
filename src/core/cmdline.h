// Command-line scanning: arguments are separated by runs of bytes 0x01 to
// 0x20 outside double quotes; quotes stay part of the argument's text.
#pragma once

// The start of argument `index` (0 is the program name) inside `text`, or
// null when there are fewer arguments; `count` (may be null) receives the
// index reached. Index 1 yields the rest of the line exactly as typed.
const char* cmdline_argument(const char* text, int index, int* count);
