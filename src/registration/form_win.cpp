// The registration form: ten edit boxes for the registrant's details and
// three check boxes that behave as one group for the update choice.
#include <windows.h>

#include "core/log.h"
#include "driver/message.h"
#include "registration/dialogs.h"
#include "registration/form_check.h"
#include "registration/registrant.h"
#include "resources/resource.h"

namespace {

struct FormText {
    int id;
    char* field;
    int size; // the typing limit and the size read back
};

// In the order of the record, which is also the order of filling.
const FormText g_texts[] = {
    {IDC_REG_FIRST_NAME, g_registrant.first_name, sizeof g_registrant.first_name},
    {IDC_REG_LAST_NAME, g_registrant.last_name, sizeof g_registrant.last_name},
    {IDC_REG_ADDRESS, g_registrant.street_address, sizeof g_registrant.street_address},
    {IDC_REG_CITY, g_registrant.city, sizeof g_registrant.city},
    {IDC_REG_STATE, g_registrant.state, sizeof g_registrant.state},
    {IDC_REG_COUNTRY, g_registrant.country, sizeof g_registrant.country},
    {IDC_REG_ZIP, g_registrant.zip_code, sizeof g_registrant.zip_code},
    {IDC_REG_EMAIL, g_registrant.email, sizeof g_registrant.email},
    {IDC_REG_PHONE, g_registrant.phone, sizeof g_registrant.phone},
    {IDC_REG_REFERRAL, g_registrant.referral, sizeof g_registrant.referral},
};

const int g_choice_boxes[] = {IDC_UPDATES_YES, IDC_UPDATES_ALREADY, IDC_UPDATES_NO};

int box_of_choice(int choice) {
    switch (choice) {
    case UPDATES_YES:
        return IDC_UPDATES_YES;
    case UPDATES_ALREADY:
        return IDC_UPDATES_ALREADY;
    case UPDATES_NO:
        return IDC_UPDATES_NO;
    default:
        return 0;
    }
}

void clear_choice_boxes(HWND dialog) {
    for (int id : g_choice_boxes) {
        set_item_checked(dialog, id, WINDOW_UNCHECKED);
    }
}

void form_init(HWND dialog) {
    SetWindowTextA(dialog, g_registration_caption);
    clear_choice_boxes(dialog);
    // "Already subscribed" is only offered to a user who has answered before.
    if (g_registrant.update_choice < UPDATES_YES) {
        enable_dialog_item(dialog, IDC_UPDATES_ALREADY, WINDOW_DISABLED);
    }
    int box = box_of_choice(g_registrant.update_choice);
    if (box) {
        set_item_checked(dialog, box, WINDOW_CHECKED);
    }
    for (const FormText& text : g_texts) {
        set_item_text(dialog, text.id, text.field, text.size);
    }
    center_window(dialog, GetParent(dialog));
}

// The automatic boxes toggle themselves; only the clicked one may stay ticked.
void choice_clicked(HWND dialog, int id) {
    int checked = 0;
    get_item_checked(dialog, id, &checked);
    clear_choice_boxes(dialog);
    set_item_checked(dialog, id, checked);
}

void form_register(HWND dialog) {
    int yes = 0;
    int already = 0;
    int no = 0;
    get_item_checked(dialog, IDC_UPDATES_YES, &yes);
    get_item_checked(dialog, IDC_UPDATES_ALREADY, &already);
    get_item_checked(dialog, IDC_UPDATES_NO, &no);
    g_registrant.update_choice = registration_choice_from_boxes(yes, already, no);
    for (const FormText& text : g_texts) {
        get_item_text(dialog, text.id, text.field, text.size);
    }
    const char* problem = registration_form_problem(&g_registrant);
    if (problem) {
        message_notify(problem, g_registration_caption);
        return;
    }
    registrant_save();
    SendMessageA(dialog, WM_CLOSE, 0, 1);
}

void form_decline(HWND dialog) {
    if (message_confirm(REGISTRATION_DECLINE_QUESTION, g_registration_caption)) {
        SendMessageA(dialog, WM_CLOSE, 0, 0);
    }
}

INT_PTR CALLBACK registration_form_proc(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
    case WM_INITDIALOG:
        form_init(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(first)) {
        case IDC_UPDATES_YES:
        case IDC_UPDATES_ALREADY:
        case IDC_UPDATES_NO:
            choice_clicked(dialog, LOWORD(first));
            return TRUE;
        case IDOK:
            form_register(dialog);
            return TRUE;
        case IDCANCEL:
            form_decline(dialog);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        // The buttons close through here with 1 (registered) or 0 (declined).
        EndDialog(dialog, static_cast<short>(second));
        return TRUE;
    }
    return FALSE;
}

} // namespace

int registration_form_show(WindowHandle owner) {
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_REGISTRATION),
                                     owner, registration_form_proc, 0);
    if (result == -1) {
        log_printf("Unable to show dialog %d (%lu)\n", IDD_REGISTRATION, GetLastError());
    }
    return static_cast<int>(result);
}
