// The window helpers on real windows: placement, the message queue, dialog
// items and progress bars.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/window.h"

namespace {

const UINT g_counted = WM_APP + 1;
int g_count = 0;

LRESULT CALLBACK counting_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == g_counted) {
        ++g_count;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

class WindowWin : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSA type = {};
        type.lpfnWndProc = counting_proc;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = "WindowWinTest";
        RegisterClassA(&type);
    }
    void SetUp() override {
        g_count = 0;
        ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &desktop_));
    }
    void TearDown() override {
        for (HWND window : windows_) {
            DestroyWindow(window);
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // A hidden top-level window without frame, so that its outer rectangle is
    // exactly what was asked for.
    HWND popup(int x, int y, int width, int height) {
        HWND window = CreateWindowExA(0, "WindowWinTest", "", WS_POPUP, x, y, width, height,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(nullptr, window);
        windows_.push_back(window);
        return window;
    }
    HWND child(HWND parent, const char* type, DWORD style, int id) {
        return CreateWindowExA(0, type, "", WS_CHILD | style, 0, 0, 100, 20, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleA(nullptr), nullptr);
    }
    static RECT rect_of(HWND window) {
        RECT rect = {};
        GetWindowRect(window, &rect);
        return rect;
    }
    int desktop_width() const { return desktop_.right - desktop_.left; }
    int desktop_height() const { return desktop_.bottom - desktop_.top; }

    RECT desktop_ = {};
    std::vector<HWND> windows_;
};

TEST_F(WindowWin, CentringOverTheDesktopKeepsTheSize) {
    HWND window = popup(10, 20, 201, 101);
    EXPECT_EQ(1, center_window(window, nullptr));
    RECT rect = rect_of(window);
    EXPECT_EQ((desktop_width() - 201) / 2, rect.left);
    EXPECT_EQ((desktop_height() - 101) / 2, rect.top);
    EXPECT_EQ(201, rect.right - rect.left);
    EXPECT_EQ(101, rect.bottom - rect.top);
}

TEST_F(WindowWin, CentringOverAReferenceTruncatesTowardZero) {
    struct Case {
        int width, height, x, y;
    } cases[] = {
        {101, 51, 100 + 49, 100 + 74}, // 99 / 2 and 149 / 2
        {203, 203, 100 - 1, 100 - 1},  // 3 pixels larger: 1 pixel up and left
        {200, 200, 100, 100},
    };
    HWND reference = popup(100, 100, 200, 200);
    for (const auto& c : cases) {
        HWND window = popup(0, 0, c.width, c.height);
        center_window(window, reference);
        RECT rect = rect_of(window);
        EXPECT_EQ(c.x, rect.left) << c.width;
        EXPECT_EQ(c.y, rect.top) << c.height;
    }
}

TEST_F(WindowWin, AWindowLargerThanTheDesktopStaysWhereItIs) {
    HWND wide = popup(10, 20, desktop_width() + 100, 50);
    center_window(wide, nullptr);
    EXPECT_EQ(10, rect_of(wide).left);
    EXPECT_EQ(20, rect_of(wide).top);
    HWND tall = popup(30, 40, 50, desktop_height() + 2);
    center_window(tall, nullptr);
    EXPECT_EQ(30, rect_of(tall).left);
    EXPECT_EQ(40, rect_of(tall).top);
}

TEST_F(WindowWin, ACornerOffTheDesktopIsNotPulledBack) {
    HWND reference = popup(-50, 100, 100, 100);
    HWND window = popup(5, 6, 200, 50);
    center_window(window, reference); // the corner would be at x -100
    EXPECT_EQ(5, rect_of(window).left);
    EXPECT_EQ(6, rect_of(window).top);
}

TEST_F(WindowWin, TheDesktopsEdgesCountAsOnIt) {
    struct Case {
        int x, y, moved;
    } cases[] = {
        {desktop_.left, desktop_.top, 1},     {desktop_.right, desktop_.bottom, 1},
        {desktop_.left - 1, desktop_.top, 0}, {desktop_.right + 1, desktop_.top, 0},
        {desktop_.left, desktop_.top - 1, 0}, {desktop_.left, desktop_.bottom + 1, 0},
    };
    HWND window = popup(7, 8, 30, 20);
    for (const auto& c : cases) {
        SetWindowPos(window, nullptr, 7, 8, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        move_window_on_desktop(window, c.x, c.y, 0, 0);
        RECT rect = rect_of(window);
        EXPECT_EQ(c.moved ? c.x : 7, rect.left) << c.x << "," << c.y;
        EXPECT_EQ(c.moved ? c.y : 8, rect.top) << c.x << "," << c.y;
        EXPECT_EQ(30, rect.right - rect.left);
    }
}

TEST_F(WindowWin, ASizeIsSetOnlyWhenBothPartsAreAboveZero) {
    HWND window = popup(0, 0, 30, 20);
    move_window_on_desktop(window, 40, 50, 60, 0);
    EXPECT_EQ(30, rect_of(window).right - rect_of(window).left);
    move_window_on_desktop(window, 40, 50, 60, 70);
    RECT rect = rect_of(window);
    EXPECT_EQ(40, rect.left);
    EXPECT_EQ(60, rect.right - rect.left);
    EXPECT_EQ(70, rect.bottom - rect.top);
}

TEST_F(WindowWin, WaitingMessagesAreDispatched) {
    HWND window = popup(0, 0, 10, 10);
    for (int i = 0; i < 3; ++i) {
        PostMessageA(window, g_counted, 0, 0);
    }
    EXPECT_EQ(1, process_pending_messages());
    EXPECT_EQ(3, g_count);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, g_counted, g_counted, PM_NOREMOVE));
}

TEST_F(WindowWin, APendingQuitStaysQueuedForTheMainLoop) {
    PostQuitMessage(3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(1, process_pending_messages());
        MSG message;
        ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
        EXPECT_EQ(static_cast<UINT>(WM_QUIT), message.message);
    }
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(3u, message.wParam);
}

TEST_F(WindowWin, APendingCloseStopsTheLoopAndStays) {
    HWND window = popup(0, 0, 10, 10);
    PostMessageA(window, g_counted, 0, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    PostMessageA(window, g_counted, 0, 0);
    process_pending_messages();
    EXPECT_EQ(1, g_count);
    EXPECT_TRUE(IsWindow(window));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_CLOSE), message.message);
}

TEST_F(WindowWin, CheckBoxesReadCheckedOnlyWhenChecked) {
    HWND dialog = popup(0, 0, 200, 100);
    HWND box = child(dialog, "BUTTON", BS_AUTO3STATE, 10);
    ASSERT_NE(nullptr, box);
    struct Case {
        WPARAM state;
        int flag;
    } cases[] = {{BST_CHECKED, 1}, {BST_UNCHECKED, 0}, {BST_INDETERMINATE, 0}};
    for (const auto& c : cases) {
        SendMessageA(box, BM_SETCHECK, c.state, 0);
        int flag = -1;
        EXPECT_EQ(1, get_item_checked(dialog, 10, &flag));
        EXPECT_EQ(c.flag, flag) << c.state;
    }
    struct Setting {
        int flag;
        LRESULT state;
    } settings[] = {{1, BST_CHECKED}, {0, BST_UNCHECKED}, {1, BST_CHECKED}, {2, BST_UNCHECKED}};
    for (const auto& s : settings) {
        EXPECT_EQ(1, set_item_checked(dialog, 10, s.flag));
        EXPECT_EQ(s.state, SendMessageA(box, BM_GETCHECK, 0, 0)) << s.flag;
    }
}

TEST_F(WindowWin, ItemsAreEnabledOnlyByFlagOne) {
    HWND dialog = popup(0, 0, 200, 100);
    HWND button = child(dialog, "BUTTON", BS_PUSHBUTTON, 11);
    struct Case {
        int flag;
        BOOL enabled;
    } cases[] = {{0, FALSE}, {1, TRUE}, {2, FALSE}, {1, TRUE}, {-1, FALSE}};
    for (const auto& c : cases) {
        EXPECT_EQ(1, enable_dialog_item(dialog, 11, c.flag));
        EXPECT_EQ(c.enabled, IsWindowEnabled(button)) << c.flag;
    }
}

TEST_F(WindowWin, SetTextLimitsAndSelectsItAll) {
    HWND dialog = popup(0, 0, 200, 100);
    HWND edit = child(dialog, "EDIT", ES_AUTOHSCROLL, 12);
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(1, set_item_text(dialog, 12, "hello world", 20));
    DWORD start = 99;
    DWORD end = 99;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(11u, end);
    EXPECT_EQ(20, SendMessageA(edit, EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(11, send_item_message(dialog, 12, WM_GETTEXTLENGTH, 0, 0));

    char text[6];
    memset(text, '#', sizeof text);
    EXPECT_EQ(1, get_item_text(dialog, 12, text, sizeof text));
    EXPECT_STREQ("hello", text);
    char whole[40];
    get_item_text(dialog, 12, whole, sizeof whole);
    EXPECT_STREQ("hello world", whole);
}

TEST_F(WindowWin, ProgressBarsRunFromZeroToAThousand) {
    HWND dialog = popup(0, 0, 200, 100);
    HWND bar = child(dialog, PROGRESS_CLASSA, 0, 13);
    ASSERT_NE(nullptr, bar);
    SendMessageA(bar, PBM_SETPOS, 50, 0);
    EXPECT_EQ(1, reset_progress_bar(dialog, 13));
    PBRANGE range = {};
    SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(0, range.iLow);
    EXPECT_EQ(1000, range.iHigh);
    EXPECT_EQ(0, SendMessageA(bar, PBM_GETPOS, 0, 0));

    struct Case {
        double percentage;
        int position;
    } cases[] = {{42.35, 423}, {99.99, 999}, {250.0, 1000}, {-5.0, 0}, {0.05, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(1, set_progress_percent(dialog, 13, c.percentage));
        EXPECT_EQ(c.position, SendMessageA(bar, PBM_GETPOS, 0, 0)) << c.percentage;
    }
}

} // namespace
