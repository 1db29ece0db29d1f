#include "progress.h"

#include "core/log.h"
#include "platform/window.h"
#include "resources/resource.h"

namespace {

INT_PTR CALLBACK progress_dialog_proc(HWND window, UINT message, WPARAM, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        reset_progress_bar(window, IDC_PROGRESS_BAR);
        return TRUE;
    case WM_CLOSE:
        EndDialog(window, LOWORD(lparam));
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

int progress_create(HINSTANCE instance, HWND parent) {
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), parent,
                                     progress_dialog_proc, 0);
    if (!window) {
        log_printf("Unable to create progress window (%d)\n", static_cast<int>(GetLastError()));
        return 0;
    }
    set_progress_window(window);
    show_progress_window(WINDOW_HIDDEN);
    return 1;
}

int progress_destroy() {
    HWND window = get_progress_window();
    if (window) {
        set_progress_window(nullptr);
        DestroyWindow(window);
    }
    return 1;
}
