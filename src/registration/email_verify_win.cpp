// The e-mail verification: the address typed once more when the user asked
// for update notices.
#include <windows.h>

#include "core/log.h"
#include "driver/message.h"
#include "registration/dialogs.h"
#include "registration/form_check.h"
#include "registration/registrant.h"
#include "resources/resource.h"

namespace {

const int g_entered_size = 120;

void verify_ok(HWND dialog) {
    char entered[g_entered_size];
    get_item_text(dialog, IDC_VERIFY_EMAIL, entered, sizeof entered);
    if (registration_email_confirmed(&g_registrant, entered)) {
        EndDialog(dialog, 1);
        return;
    }
    message_notify(REGISTRATION_EMAIL_MISMATCH, g_registration_caption);
}

INT_PTR CALLBACK email_verify_proc(HWND dialog, UINT message, WPARAM first, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextA(dialog, g_registration_caption);
        center_window(dialog, nullptr);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(first) == IDOK) {
            verify_ok(dialog);
            return TRUE;
        }
        if (LOWORD(first) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

int email_verify_show(WindowHandle owner) {
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_EMAIL_VERIFY),
                                     owner, email_verify_proc, 0);
    if (result == -1) {
        log_printf("Unable to show dialog %d (%lu)\n", IDD_EMAIL_VERIFY, GetLastError());
    }
    return static_cast<int>(result);
}
