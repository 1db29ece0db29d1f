#include <stdio.h>

#include "format.h"

int format_text(char* destination, int size, const char* format, va_list arguments) {
    va_list measure;
    va_copy(measure, arguments);
    int length = _vscprintf(format, measure);
    va_end(measure);
    if (size > 0) {
        // Leaves the text unterminated when it is cut, so terminate here.
        _vsnprintf(destination, static_cast<size_t>(size) - 1, format, arguments);
        destination[size - 1] = '\0';
    }
    return length;
}
