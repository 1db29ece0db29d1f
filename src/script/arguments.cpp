#include "arguments.h"

#include "core/log.h"
#include "core/text.h"

namespace {

// The argument's offset in the script text; the appended zero is at
// script_length, and a command cut by it may start its arguments one past it.
int argument_offset(const InstallState* state, const char* arguments) {
    long long offset = arguments - state->script_text;
    CORE_ASSERT(offset >= 0 && offset <= state->script_length + 1LL,
                "Arguments outside the script\n");
    return static_cast<int>(offset);
}

int is_argument_byte(char byte) {
    return static_cast<unsigned char>(byte) >= 0x20;
}

} // namespace

int arg_take(InstallState* state, const char* arguments, char* destination, int size,
             int* consumed) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(arguments);
    CORE_ASSERT_POINTER(destination);
    CORE_ASSERT_POINTER(consumed);
    CORE_ASSERT(size > 0, "Invalid argument buffer size (%d)\n", size);
    const int start = argument_offset(state, arguments);
    const int end = state->script_length;
    const char* text = state->script_text;
    int at = start + *consumed;
    int copied = 0;
    if (at <= end) {
        for (; at < end && is_argument_byte(text[at]); ++at) {
            if (copied < size - 1) {
                destination[copied++] = text[at];
            }
        }
        *consumed = at + 1 - start; // the end byte, or the appended zero
    }
    destination[copied] = '\0';
    return 1;
}

int arg_take_whole(InstallState* state, const char* arguments, char* destination, int size,
                   int* consumed) {
    CORE_ASSERT_POINTER(consumed);
    int before = *consumed;
    arg_take(state, arguments, destination, size, consumed);
    // The argument's length is what was consumed less its end byte.
    return *consumed - before - 1 < size ? 1 : 0;
}

int arg_count(InstallState* state, const char* arguments, char character, int* count,
              int* consumed) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(arguments);
    CORE_ASSERT_POINTER(count);
    CORE_ASSERT_POINTER(consumed);
    const int start = argument_offset(state, arguments);
    const char* text = state->script_text;
    int at = start;
    for (; at < state->script_length && is_argument_byte(text[at]); ++at) {
        if (text[at] == character) {
            *count += 1;
        }
    }
    *consumed = at - start;
    return 1;
}

int arg_decimal(const char* text) {
    return text_decimal_wrapping(text);
}
