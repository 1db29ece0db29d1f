// Text operations on zero-terminated 8-bit strings, and the quick CRC.
//
// Only the ASCII letters fold case; every other byte matches only itself.
// Every pointer argument is asserted not null. Writes into a buffer take the
// buffer's size in bytes and never go past it: the result is always
// terminated, and the operation returns 0 when the text had to be cut.
#pragma once

int text_length(const char* text);
int text_copy(char* destination, int size, const char* source);
int text_append(char* destination, int size, const char* source);
int text_format(char* destination, int size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int text_equal(const char* a, const char* b);
int text_equal_nocase(const char* a, const char* b);
int text_compare_n(const char* a, const char* b, int count);
int text_compare_n_nocase(const char* a, const char* b, int count);
int text_find(const char* text, const char* pattern, const char** position);
int text_find_nocase(const char* text, const char* pattern, const char** position);

// The small readers of numbers in text, in one place. Blanks are the space
// and the bytes from tab to carriage return; digits are the ASCII ones.
int text_is_digit(char c);
int text_is_blank(char c);
// Leading blanks, one optional sign, then digits up to the first non-digit;
// no digits give 0. Beyond 32 bits the value wraps around, as the install
// script's numbers always have.
int text_decimal_wrapping(const char* text);
// The same reading as the C library's conversion does it: beyond 32 bits the
// value stays at the largest or smallest int.
int text_decimal_saturating(const char* text);
// The value of at most `limit` digits at the start of `text` (no blanks, no
// sign); 0 for none. Saturates at the largest int.
int text_digits_saturating(const char* text, int limit);

// The install-script keyword hash: letters fold to upper case, and byte k is
// shifted left by 0, 7, 13, 20 or 27 bits for k modulo 5 before it is mixed in.
int quick_crc(const char* text, unsigned* value);
