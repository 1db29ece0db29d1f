#include "text.h"

#include <climits>
#include <cstdarg>

#include "format.h"
#include "log.h"

namespace {

int same_letter(unsigned char x, unsigned char y) {
    if (x == y) {
        return 1;
    }
    if (x >= 'a' && x <= 'z') {
        return y == x - ('a' - 'A');
    }
    if (y >= 'a' && y <= 'z') {
        return x == y - ('a' - 'A');
    }
    return 0;
}

// Both searches try every start before the terminator; the comparison stops
// at the first difference, so a shorter text fails at its own terminator.
int find(const char* text, const char* pattern, const char** position,
         int (*compare)(const char*, const char*, int)) {
    *position = nullptr;
    int count = text_length(pattern);
    for (const char* start = text; *start != '\0'; ++start) {
        if (compare(start, pattern, count)) {
            *position = start;
            return 1;
        }
    }
    return 0;
}

// At most `limit` digits, kept at INT_MAX + 1 so that a negation reaches INT_MIN.
long long digit_run(const char* text, int limit) {
    long long value = 0;
    for (int i = 0; i < limit && text_is_digit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    return value;
}

// Past the blanks and the sign; `negative` says which sign it was.
const char* skip_sign(const char* text, int* negative) {
    while (text_is_blank(*text)) {
        ++text;
    }
    *negative = *text == '-';
    return *text == '-' || *text == '+' ? text + 1 : text;
}

} // namespace

int text_is_digit(char c) {
    return c >= '0' && c <= '9';
}

int text_is_blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int text_decimal_wrapping(const char* text) {
    CORE_ASSERT_POINTER(text);
    int negative = 0;
    unsigned value = 0;
    for (text = skip_sign(text, &negative); text_is_digit(*text); ++text) {
        value = value * 10 + static_cast<unsigned>(*text - '0');
    }
    return static_cast<int>(negative ? 0U - value : value);
}

int text_decimal_saturating(const char* text) {
    CORE_ASSERT_POINTER(text);
    int negative = 0;
    text = skip_sign(text, &negative);
    long long value = digit_run(text, INT_MAX);
    if (negative) {
        return static_cast<int>(-value);
    }
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

int text_digits_saturating(const char* text, int limit) {
    CORE_ASSERT_POINTER(text);
    long long value = digit_run(text, limit);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

int text_length(const char* text) {
    CORE_ASSERT_POINTER(text);
    int length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    return length;
}

int text_copy(char* destination, int size, const char* source) {
    CORE_ASSERT_POINTER(destination);
    CORE_ASSERT_POINTER(source);
    if (size <= 0) {
        return 0;
    }
    int i = 0;
    for (; i < size - 1 && source[i] != '\0'; ++i) {
        destination[i] = source[i];
    }
    destination[i] = '\0';
    return source[i] == '\0';
}

int text_append(char* destination, int size, const char* source) {
    CORE_ASSERT_POINTER(destination);
    CORE_ASSERT_POINTER(source);
    int used = 0;
    while (used < size && destination[used] != '\0') {
        ++used;
    }
    if (used >= size) {
        return 0;
    }
    return text_copy(destination + used, size - used, source);
}

int text_format(char* destination, int size, const char* format, ...) {
    CORE_ASSERT_POINTER(destination);
    CORE_ASSERT_POINTER(format);
    if (size <= 0) {
        return 0;
    }
    va_list arguments;
    va_start(arguments, format);
    int length = format_text(destination, size, format, arguments);
    va_end(arguments);
    return length >= 0 && length < size;
}

int text_equal(const char* a, const char* b) {
    CORE_ASSERT_POINTER(a);
    CORE_ASSERT_POINTER(b);
    for (;; ++a, ++b) {
        if (*a != *b) {
            return 0;
        }
        if (*a == '\0') {
            return 1;
        }
    }
}

int text_equal_nocase(const char* a, const char* b) {
    CORE_ASSERT_POINTER(a);
    CORE_ASSERT_POINTER(b);
    for (;; ++a, ++b) {
        if (!same_letter(static_cast<unsigned char>(*a), static_cast<unsigned char>(*b))) {
            return 0;
        }
        if (*a == '\0') {
            return 1;
        }
    }
}

// Stops where both texts end together: nothing past a terminator is read.
int text_compare_n(const char* a, const char* b, int count) {
    CORE_ASSERT_POINTER(a);
    CORE_ASSERT_POINTER(b);
    for (int i = 0; i < count; ++i) {
        if (a[i] != b[i]) {
            return 0;
        }
        if (a[i] == '\0') {
            break;
        }
    }
    return 1;
}

int text_compare_n_nocase(const char* a, const char* b, int count) {
    CORE_ASSERT_POINTER(a);
    CORE_ASSERT_POINTER(b);
    for (int i = 0; i < count; ++i) {
        if (!same_letter(static_cast<unsigned char>(a[i]), static_cast<unsigned char>(b[i]))) {
            return 0;
        }
        if (a[i] == '\0') {
            break;
        }
    }
    return 1;
}

int text_find(const char* text, const char* pattern, const char** position) {
    CORE_ASSERT_POINTER(text);
    CORE_ASSERT_POINTER(pattern);
    CORE_ASSERT_POINTER(position);
    return find(text, pattern, position, text_compare_n);
}

int text_find_nocase(const char* text, const char* pattern, const char** position) {
    CORE_ASSERT_POINTER(text);
    CORE_ASSERT_POINTER(pattern);
    CORE_ASSERT_POINTER(position);
    return find(text, pattern, position, text_compare_n_nocase);
}

int quick_crc(const char* text, unsigned* value) {
    CORE_ASSERT_POINTER(text);
    CORE_ASSERT_POINTER(value);
    static const int shifts[5] = {0, 7, 13, 20, 27};
    unsigned crc = 0;
    int k = 0;
    for (; *text != '\0'; ++text) {
        unsigned c = static_cast<unsigned char>(*text);
        if (c >= 'a' && c <= 'z') {
            c -= 'a' - 'A';
        }
        crc ^= c << shifts[k];
        k = (k + 1) % 5;
    }
    *value = crc;
    return 1;
}
