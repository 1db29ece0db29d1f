// Window, dialog-item and progress helpers on user32 and the common controls.
#include <windows.h>

#include <commctrl.h>

#include "core/log.h"
#include "resources/resource.h"
#include "window.h"

namespace {

HWND g_progress_window = nullptr;
const LONGLONG g_progress_serve_ms = 50;

} // namespace

int center_window(WindowHandle window, WindowHandle reference) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) {
        return 1;
    }
    if (!reference) {
        reference = GetDesktopWindow();
    }
    RECT area;
    if (!GetWindowRect(reference, &area)) {
        return 1;
    }
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    // Integer division truncates toward zero for both signs: a window 3 pixels
    // wider than its reference starts 1 pixel left of it.
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    return move_window_on_desktop(window, x, y, 0, 0);
}

int move_window_on_desktop(WindowHandle window, int x, int y, int width, int height) {
    RECT desktop;
    if (!GetWindowRect(GetDesktopWindow(), &desktop)) {
        return 1;
    }
    // A corner off the desktop is not pulled back onto it; the window stays.
    if (x < desktop.left || x > desktop.right || y < desktop.top || y > desktop.bottom) {
        return 1;
    }
    if (width > 0 && height > 0) {
        SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER);
    } else {
        SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    return 1;
}

int process_pending_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (message.message == WM_CLOSE || message.message == WM_QUIT) {
            return 1;
        }
        GetMessageA(&message, nullptr, 0, 0);
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Sleep(0);
    return 1;
}

int enable_dialog_item(WindowHandle dialog, int id, int flag) {
    EnableWindow(GetDlgItem(dialog, id), flag == 1);
    return 1;
}

int get_item_checked(WindowHandle dialog, int id, int* flag) {
    CORE_ASSERT_POINTER(flag);
    *flag = send_item_message(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
    return 1;
}

int set_item_checked(WindowHandle dialog, int id, int flag) {
    send_item_message(dialog, id, BM_SETCHECK, flag == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    return 1;
}

int get_item_text(WindowHandle dialog, int id, char* text, int size) {
    CORE_ASSERT_POINTER(text);
    if (size <= 0) {
        return 1;
    }
    text[0] = '\0';
    GetDlgItemTextA(dialog, id, text, size);
    text[size - 1] = '\0';
    return 1;
}

int set_item_text(WindowHandle dialog, int id, const char* text, int limit) {
    CORE_ASSERT_POINTER(text);
    SetDlgItemTextA(dialog, id, text);
    send_item_message(dialog, id, EM_LIMITTEXT, static_cast<unsigned long>(limit), 0);
    send_item_message(dialog, id, EM_SETSEL, 0, -1);
    return 1;
}

long send_item_message(WindowHandle dialog, int id, unsigned message, unsigned long first,
                       long second) {
    return SendMessageA(GetDlgItem(dialog, id), message, first, second);
}

int reset_progress_bar(WindowHandle dialog, int id) {
    send_item_message(dialog, id, PBM_SETPOS, 0, 0);
    send_item_message(dialog, id, PBM_SETRANGE, 0, MAKELPARAM(0, PROGRESS_RANGE));
    return 1;
}

int set_progress_percent(WindowHandle dialog, int id, double percentage) {
    send_item_message(dialog, id, PBM_SETPOS,
                      static_cast<unsigned long>(progress_position(percentage)), 0);
    return 1;
}

int set_progress_window(WindowHandle window) {
    g_progress_window = window;
    return 1;
}

WindowHandle get_progress_window() {
    return g_progress_window;
}

// Moving the bar repaints it at once and looking at the queue is a round
// trip to the window system: each costs more than deleting a file, and a
// removal steps once per file. So a step moves the bar and serves the queue
// only when 50 ms have passed since the last one that did, or when it is at
// either end of the bar; the eye cannot tell the difference.
int update_progress(double percentage) {
    static LONGLONG s_last_served = 0;
    static int s_served = 0;
    int position = progress_position(percentage);
    // The tick count can lag by a whole scheduler period; the counter cannot.
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    LONGLONG now = counter.QuadPart * 1000 / frequency.QuadPart;
    int at_an_end = position == 0 || position == PROGRESS_RANGE;
    if (s_served && !at_an_end && now - s_last_served < g_progress_serve_ms) {
        return 1;
    }
    s_served = 1;
    s_last_served = now;
    if (g_progress_window) {
        set_progress_percent(g_progress_window, IDC_PROGRESS_BAR, percentage);
    }
    process_pending_messages();
    return 1;
}

int show_progress_window(int flag) {
    if (!g_progress_window) {
        return 1;
    }
    if (flag == 1) {
        center_window(g_progress_window, GetParent(g_progress_window));
        ShowWindowAsync(g_progress_window, SW_SHOW);
    } else {
        ShowWindowAsync(g_progress_window, SW_HIDE);
    }
    return 1;
}
