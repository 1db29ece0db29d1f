#include "cmdline.h"

#include "log.h"

namespace {

int is_separator(char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 0x01 && byte <= 0x20;
}

} // namespace

const char* cmdline_argument(const char* text, int index, int* count) {
    CORE_ASSERT_POINTER(text);
    const char* p = text;
    while (is_separator(*p)) {
        ++p;
    }
    int reached = 0;
    int quoted = 0;
    for (;;) {
        if (*p == '\0') {
            break;
        }
        if (*p == '"') {
            quoted = !quoted;
        } else if (!quoted && is_separator(*p)) {
            while (is_separator(*p)) {
                ++p;
            }
            if (*p == '\0') {
                break;
            }
            ++reached;
            continue;
        }
        if (reached == index) {
            break;
        }
        ++p;
    }
    if (count) {
        *count = reached;
    }
    return reached == index ? p : nullptr;
}
