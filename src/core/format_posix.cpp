#include <cstdio>

#include "format.h"

int format_text(char* destination, int size, const char* format, va_list arguments) {
    return vsnprintf(destination, size > 0 ? static_cast<size_t>(size) : 0, format, arguments);
}
