#include "registration/email.h"

#include "core/log.h"
#include "core/text.h"

namespace {

int is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

int email_address_valid(const char* text) {
    CORE_ASSERT_POINTER(text);
    int seen_at = 0;
    const char* host = nullptr;
    int dot_in_host = 0;
    int digit_in_label = 0;
    const char* at = text;
    for (; *at != '\0'; ++at) {
        char c = *at;
        if (!is_letter(c) && !text_is_digit(c) && c != '-' && c != '+' && c != '_' && c != '@' &&
            c != '.') {
            return 0;
        }
        if (text_is_digit(c)) {
            digit_in_label = 1;
        }
        if (seen_at && (c == '+' || c == '_' || c == '@')) {
            return 0;
        }
        if (c == '@') {
            if (at == text || at[1] == '.') {
                return 0;
            }
            seen_at = 1;
            host = at + 1;
        }
        if (c == '.') {
            digit_in_label = 0;
            if (at[1] == '.') {
                return 0;
            }
            if (seen_at) {
                dot_in_host = 1;
            }
        }
    }
    return seen_at && dot_in_host && at - host >= 4 && !digit_in_label;
}
