// The new-version dialog: two lines, the web page, or the download.
#include "update/offer.h"

#include <shellapi.h>

#include "core/log.h"
#include "core/text.h"
#include "platform/window.h"
#include "resources/resource.h"
#include "script/install_state.h"

namespace {

// The lines hold the names and versions whole, however long they are; the
// limit is what the static controls are told.
enum { OFFER_LINE_SIZE = 400, OFFER_LINE_LIMIT = 80 };

UpdateOffer g_offer;

void fill_lines(HWND dialog) {
    const InstallState* state = g_offer.state;
    char line[OFFER_LINE_SIZE];
    text_format(line, sizeof line, "A new version of %s %s is available!", state->company_name,
                state->product_name);
    set_item_text(dialog, IDC_UPDATE_OFFER_LINE1, line, OFFER_LINE_LIMIT);
    text_format(line, sizeof line, "Current version %s - New version %s", state->product_version,
                g_offer.new_version);
    set_item_text(dialog, IDC_UPDATE_OFFER_LINE2, line, OFFER_LINE_LIMIT);
}

} // namespace

UpdateOffer* update_offer_values() {
    return &g_offer;
}

int update_offer(HINSTANCE instance, HWND owner, InstallState* state, const UpdateRecord* record) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(record);
    g_offer.state = state;
    g_offer.new_version = record->version;
    g_offer.page_url = record->page_url;
    text_copy(g_offer.download_url, sizeof g_offer.download_url, record->download_url);
    text_copy(g_offer.signature, sizeof g_offer.signature, record->signature);
    g_offer.saved_path[0] = '\0';
    g_offer.download_requested = 0;
    if (log_mode() & LOG_QUIET) {
        g_offer.download_requested = 1;
        return 1;
    }
    INT_PTR result =
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_UPDATE_OFFER), owner, update_offer_proc, 0);
    if (result == 1) {
        g_offer.download_requested = 1;
    }
    return 1;
}

INT_PTR CALLBACK update_offer_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextA(dialog, UPDATE_TITLE);
        center_window(dialog, GetParent(dialog));
        fill_lines(dialog);
        // No default focus: neither button is pressed by a stray Enter.
        return FALSE;
    case WM_COMMAND:
        return update_offer_command(dialog, LOWORD(wparam));
    case WM_CLOSE:
        EndDialog(dialog, static_cast<short>(LOWORD(lparam)));
        return TRUE;
    default:
        return FALSE;
    }
}

int update_offer_command(HWND dialog, int control) {
    switch (control) {
    case IDOK:
    case IDCANCEL:
        SendMessageA(dialog, WM_CLOSE, static_cast<WPARAM>(control), 0);
        return 1;
    case IDC_UPDATE_OFFER_WEBPAGE:
        // The browser opens the page; the dialog stays for a later download.
        ShellExecuteA(dialog, "open", g_offer.page_url, nullptr, nullptr, SW_SHOWNORMAL);
        return 1;
    case IDC_UPDATE_OFFER_DOWNLOAD:
        SendMessageA(dialog, WM_CLOSE, IDC_UPDATE_OFFER_DOWNLOAD, 1);
        return 1;
    default:
        return 0;
    }
}
