// The program's progress window, created from its real template.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include "driver/progress.h"
#include "platform/window.h"
#include "resources/resource.h"

namespace {

class ProgressWindow : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls = {8, 0x1FFF};
        InitCommonControlsEx(&controls);
    }
    void SetUp() override {
        ASSERT_EQ(1, progress_create(GetModuleHandleA(nullptr), nullptr));
        window_ = get_progress_window();
        ASSERT_NE(nullptr, window_);
        bar_ = GetDlgItem(window_, IDC_PROGRESS_BAR);
        ASSERT_NE(nullptr, bar_);
    }
    void TearDown() override { progress_destroy(); }
    int position() const { return static_cast<int>(SendMessageA(bar_, PBM_GETPOS, 0, 0)); }

    HWND window_ = nullptr;
    HWND bar_ = nullptr;
};

TEST_F(ProgressWindow, TheTemplateGivesAHiddenToolWindowWithOneBar) {
    char text[40] = "";
    GetWindowTextA(window_, text, sizeof text);
    EXPECT_STREQ("Please wait...", text);
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_TRUE(GetWindowLongA(window_, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(nullptr, GetParent(window_));

    GetClassNameA(bar_, text, sizeof text);
    EXPECT_STRCASEEQ("msctls_progress32", text);
    PBRANGE range = {};
    SendMessageA(bar_, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(0, range.iLow);
    EXPECT_EQ(1000, range.iHigh);
    EXPECT_EQ(0, position());
    EXPECT_EQ(bar_, GetWindow(window_, GW_CHILD));
    EXPECT_EQ(nullptr, GetWindow(bar_, GW_HWNDNEXT));
}

TEST_F(ProgressWindow, TheLayoutIsInDialogUnits) {
    RECT client = {};
    GetClientRect(window_, &client);
    RECT size = {0, 0, 202, 20};
    MapDialogRect(window_, &size);
    EXPECT_EQ(size.right, client.right);
    EXPECT_EQ(size.bottom, client.bottom);

    RECT bar = {};
    GetWindowRect(bar_, &bar);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&bar), 2);
    RECT expected = {5, 5, 5 + 190, 5 + 10};
    MapDialogRect(window_, &expected);
    EXPECT_EQ(expected.left, bar.left);
    EXPECT_EQ(expected.top, bar.top);
    EXPECT_EQ(expected.right, bar.right);
    EXPECT_EQ(expected.bottom, bar.bottom);
}

TEST_F(ProgressWindow, UpdatesMoveTheBar) {
    struct Case {
        double percentage;
        int position;
    } cases[] = {{0.0, 0}, {33.3333, 333}, {66.6666, 666}, {100.0, 1000}, {250.0, 1000}};
    for (const auto& c : cases) {
        Sleep(60); // past the pause between two served steps
        EXPECT_EQ(1, update_progress(c.percentage));
        EXPECT_EQ(c.position, position()) << c.percentage;
    }
}

int count_posted(UINT message) {
    MSG queued;
    int count = 0;
    while (PeekMessageA(&queued, nullptr, message, message, PM_REMOVE)) {
        ++count;
    }
    return count;
}

TEST_F(ProgressWindow, StepsAreServedEvery50MsAndAtBothEnds) {
    const UINT probe = WM_APP + 7;
    Sleep(60);
    update_progress(10.0);
    EXPECT_EQ(100, position());

    PostMessageA(window_, probe, 0, 0);
    update_progress(20.0);
    EXPECT_EQ(100, position()) << "moved again within 50 ms";
    EXPECT_EQ(1, count_posted(probe)) << "served again within 50 ms";

    PostMessageA(window_, probe, 0, 0);
    update_progress(100.0);
    EXPECT_EQ(1000, position()) << "the end of the bar waited";
    EXPECT_EQ(0, count_posted(probe)) << "not served at the end of the bar";

    PostMessageA(window_, probe, 0, 0);
    update_progress(0.0);
    EXPECT_EQ(0, position()) << "the start of the bar waited";
    EXPECT_EQ(0, count_posted(probe)) << "not served at the start of the bar";

    update_progress(30.0);
    EXPECT_EQ(0, position());
    PostMessageA(window_, probe, 0, 0);
    Sleep(60);
    update_progress(30.0);
    EXPECT_EQ(300, position()) << "not moved after 50 ms";
    EXPECT_EQ(0, count_posted(probe)) << "not served after 50 ms";
}

TEST_F(ProgressWindow, ShownCentredOnTheDesktopAndHiddenAgain) {
    SetWindowPos(window_, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(1, show_progress_window(1));
    EXPECT_TRUE(IsWindowVisible(window_));
    RECT desktop = {};
    GetWindowRect(GetDesktopWindow(), &desktop);
    RECT rect = {};
    GetWindowRect(window_, &rect);
    EXPECT_EQ((desktop.right - (rect.right - rect.left)) / 2, rect.left);
    EXPECT_EQ((desktop.bottom - (rect.bottom - rect.top)) / 2, rect.top);

    EXPECT_EQ(1, show_progress_window(2));
    EXPECT_FALSE(IsWindowVisible(window_));
    show_progress_window(1);
    EXPECT_EQ(1, show_progress_window(0));
    EXPECT_FALSE(IsWindowVisible(window_));
}

TEST_F(ProgressWindow, CloseEndsTheDialogWithoutDestroyingIt) {
    show_progress_window(1);
    SendMessageA(window_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_EQ(window_, get_progress_window());
}

TEST_F(ProgressWindow, DestroyedOnceAndForgotten) {
    EXPECT_EQ(1, progress_destroy());
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(nullptr, get_progress_window());
    // The helpers stay harmless without a window.
    EXPECT_EQ(1, update_progress(50.0));
    EXPECT_EQ(1, show_progress_window(1));
    EXPECT_EQ(1, progress_destroy());
}

} // namespace
