#include "update/signature.h"

#include "core/log.h"

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    char lower = static_cast<char>(c | 0x20);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

} // namespace

int signature_bytes_from_text(const char* text, unsigned char* bytes, int size) {
    CORE_ASSERT_POINTER(text);
    CORE_ASSERT_POINTER(bytes);
    for (int i = 0; i < size; ++i) {
        // The second digit is not read once the first ends the text.
        int high = hex_digit(text[2 * i]);
        int low = high < 0 ? -1 : hex_digit(text[2 * i + 1]);
        if (low < 0) {
            return 0;
        }
        bytes[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return text[2 * size] == '\0';
}

int signature_texts_usable(const char* key_text, const char* signature_text, const char** reason) {
    CORE_ASSERT_POINTER(signature_text);
    unsigned char bytes[SIGNATURE_SIZE];
    *reason = nullptr;
    if (!signature_bytes_from_text(key_text, bytes, sizeof bytes)) {
        *reason = "the pinned key is malformed";
    } else if (signature_text[0] == '\0') {
        *reason = "the update information has no signature";
    } else if (!signature_bytes_from_text(signature_text, bytes, sizeof bytes)) {
        *reason = "the signature is malformed";
    }
    return *reason == nullptr;
}
