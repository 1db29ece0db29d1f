#include <windows.h>

#include "message.h"

int message_notify(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption ? caption : "Uninstall problem...", MB_OK);
    return 1;
}

int message_confirm(const char* text, const char* caption) {
    int answer =
        MessageBoxA(nullptr, text, caption ? caption : "Uninstall...", MB_YESNO | MB_ICONQUESTION);
    return answer != IDNO;
}
