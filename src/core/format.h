// Bounded printf-style formatting, the one formatter of the program: the
// stub uses the system C runtime's own, which keeps the executable small.
#pragma once

#include <cstdarg>

// Formats into `destination` (always terminated when `size` > 0, cut to fit)
// and returns the length the whole text has, or -1 when it cannot be formatted.
int format_text(char* destination, int size, const char* format, va_list arguments);
