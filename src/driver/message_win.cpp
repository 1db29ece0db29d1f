#include <windows.h>

#include "core/log.h"
#include "message.h"

namespace {

// With "-Quiet" nobody is there to read a box: its words go to the log.
int told_quietly(const char* text, const char* caption, const char* answer) {
    if (!(log_mode() & LOG_QUIET)) {
        return 0;
    }
    log_printf("%s %s%s\n", caption, text, answer);
    return 1;
}

} // namespace

int message_notify(const char* text, const char* caption) {
    caption = caption ? caption : "Uninstall problem...";
    if (!told_quietly(text, caption, "")) {
        MessageBoxA(nullptr, text, caption, MB_OK);
    }
    return 1;
}

int message_confirm(const char* text, const char* caption) {
    caption = caption ? caption : "Uninstall...";
    if (told_quietly(text, caption, " Yes")) {
        return 1;
    }
    return MessageBoxA(nullptr, text, caption, MB_YESNO | MB_ICONQUESTION) != IDNO;
}
