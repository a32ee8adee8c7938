// The picture window for real: the program's main window painted, sized, hidden and shown under
// the system.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "gdiplus_session.h"
#include "picture/gdiplus_bitmap.h"
#include "picture/keyboard_window.h"
#include "shell/app_state.h"
#include "shell/main_window.h"

namespace {

UINT const kQuadrants = 1; // 8x8: red, green / blue, yellow quarters
UINT const kNotAnImage = 2;

// The program's own main window, shown by nothing yet.
class KeyboardWindow : public testing::Test {
  protected:
    void SetUp() override {
        app = {};
        app.instance = GetModuleHandleA(nullptr);
        RegisterMainWindowClass(); // fails, harmlessly, once registered
        ASSERT_TRUE(CreateMainWindow());
    }
    void TearDown() override {
        DestroyWindow(app.mainWindow);
        app = {};
    }

    static RECT WindowRect() {
        RECT rect;
        GetWindowRect(app.mainWindow, &rect);
        return rect;
    }

    // Reads the centres of the client area's quarters once the window has painted. They lie far
    // from the picture's colour boundaries, where the filtered scaling would blend colours.
    static void ExpectQuarters(const COLORREF (&expected)[4]) {
        UpdateWindow(app.mainWindow);
        RECT client;
        GetClientRect(app.mainWindow, &client);
        HDC dc = GetDC(app.mainWindow);
        for (int i = 0; i < 4; ++i) {
            const int x = client.right * (i % 2 == 0 ? 1 : 3) / 4;
            const int y = client.bottom * (i < 2 ? 1 : 3) / 4;
            EXPECT_EQ(GetPixel(dc, x, y), expected[i])
                << "at " << x << "," << y << " of " << client.right << "x" << client.bottom;
        }
        ReleaseDC(app.mainWindow, dc);
    }
};

TEST_F(KeyboardWindow, PaintsThePictureStretchedOrWhiteWithoutOne) {
    const COLORREF white = RGB(255, 255, 255);
    CGdiPlusBitmapResource picture, failed;
    ASSERT_TRUE(picture.LoadFromResource(kQuadrants, "PNG", nullptr));
    ASSERT_FALSE(failed.LoadFromResource(kNotAnImage, "PNG", nullptr));
    struct Case {
        const char* what;
        CGdiPlusBitmapResource* holder;
        COLORREF quarters[4];
    };
    const Case cases[] = {
        {"the picture",
         &picture,
         {RGB(230, 30, 30), RGB(30, 200, 60), RGB(40, 60, 220), RGB(250, 220, 20)}},
        {"no holder", nullptr, {white, white, white, white}},
        {"holder of a failed load", &failed, {white, white, white, white}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        app.keyboardImage = c.holder;
        ShowKeyboardWindow();
        for (const SIZE& size : {SIZE{1200, 300}, SIZE{300, 800}, SIZE{96 * 3, 46 * 4}}) {
            SetWindowPos(app.mainWindow, nullptr, 0, 0, size.cx, size.cy,
                         SWP_NOMOVE | SWP_NOZORDER);
            ExpectQuarters(c.quarters);
        }
    }
}

TEST_F(KeyboardWindow, RestoreAndMaximizeRepaintTheWholeClientArea) {
    ShowKeyboardWindow();
    RECT client, update;
    GetClientRect(app.mainWindow, &client);
    for (WPARAM type : {SIZE_RESTORED, SIZE_MAXIMIZED}) {
        SCOPED_TRACE(type);
        ValidateRect(app.mainWindow, nullptr);
        SendMessageA(app.mainWindow, WM_SIZE, type, MAKELPARAM(client.right, client.bottom));
        EXPECT_TRUE(GetUpdateRect(app.mainWindow, &update, FALSE) && EqualRect(&update, &client));
    }
}

TEST_F(KeyboardWindow, SizingKeepsTheMinimumOuterSizeOnTheDraggedEdge) {
    ShowKeyboardWindow();
    const LONG minWidth = GetSystemMetrics(SM_CXMINTRACK);
    const LONG minHeight = GetSystemMetrics(SM_CYMINTRACK);
    struct Case {
        WPARAM edge;
        RECT proposed;
        RECT expected;
        bool repeated; // the same proposal as before: left as it came, nothing moves or repaints
    };
    const Case cases[] = {
        {WMSZ_BOTTOMRIGHT, {100, 110, 150, 140}, {100, 110, 196, 156}, false},
        {WMSZ_TOPLEFT, {110, 100, 160, 130}, {64, 84, 160, 130}, false},
        {WMSZ_TOPLEFT, {110, 100, 160, 130}, {110, 100, 160, 130}, true},
        {WMSZ_LEFT, {0, 0, 500, 300}, {0, 0, 500, 300}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        const RECT before = WindowRect();
        ValidateRect(app.mainWindow, nullptr);
        RECT rect = c.proposed;
        EXPECT_EQ(SendMessageA(app.mainWindow, WM_SIZING, c.edge, reinterpret_cast<LPARAM>(&rect)),
                  0);
        EXPECT_TRUE(EqualRect(&rect, &c.expected))
            << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
        EXPECT_EQ(GetUpdateRect(app.mainWindow, nullptr, FALSE) != FALSE, !c.repeated);
        // The window goes where the rule put it, though the system keeps its own minimum
        // tracking size (112 wide under Wine), which is larger than ours.
        const RECT& e = c.expected;
        const RECT placed = c.repeated
                                ? before
                                : RECT{e.left, e.top, e.left + std::max(e.right - e.left, minWidth),
                                       e.top + std::max(e.bottom - e.top, minHeight)};
        const RECT actual = WindowRect();
        EXPECT_TRUE(EqualRect(&actual, &placed)) << "window at " << actual.left << "," << actual.top
                                                 << "," << actual.right << "," << actual.bottom;
    }
}

TEST_F(KeyboardWindow, CloseAndMinimizeHideAndItComesBackRestoredTopmostOrNotAsSet) {
    ShowKeyboardWindow();
    const RECT normal = WindowRect();
    struct Case {
        const char* what;
        bool maximized;
        UINT message;
        WPARAM command;
        bool hides;
        DWORD alwaysOnTop; // when shown again
    };
    const Case cases[] = {
        {"close", false, WM_CLOSE, 0, true, 1},
        {"close while maximized", true, WM_CLOSE, 0, true, 0},
        {"minimize", false, WM_SYSCOMMAND, SC_MINIMIZE, true, 1},
        {"minimize with low bits", false, WM_SYSCOMMAND, SC_MINIMIZE | 2, false, 0},
        {"maximize", false, WM_SYSCOMMAND, SC_MAXIMIZE, false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShowKeyboardWindow();
        if (c.maximized) {
            ShowWindow(app.mainWindow, SW_MAXIMIZE);
        }
        SendMessageA(app.mainWindow, c.message, c.command, 0);
        EXPECT_EQ(app.viewKeyboard, c.hides ? 0u : 1u);
        // Close only hides; a minimize hides first, then the default minimize leaves it iconic.
        EXPECT_EQ(IsWindowVisible(app.mainWindow) != FALSE, c.message != WM_CLOSE);

        app.alwaysOnTop = c.alwaysOnTop;
        ShowKeyboardWindow();
        const RECT now = WindowRect();
        EXPECT_TRUE(IsWindowVisible(app.mainWindow));
        EXPECT_FALSE(IsZoomed(app.mainWindow) || IsIconic(app.mainWindow));
        EXPECT_TRUE(EqualRect(&now, &normal));
        EXPECT_EQ(app.viewKeyboard, 1u);
        EXPECT_EQ((GetWindowLongPtrA(app.mainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0,
                  c.alwaysOnTop != 0);
    }
}

} // namespace
