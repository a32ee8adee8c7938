// The picture window for real: a window whose procedure hands its messages to the handlers the
// way the program's main procedure does, painted, sized, hidden and shown under the system.
#include <windows.h>
#include <windowsx.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "gdiplus_session.h"
#include "picture/gdiplus_bitmap.h"
#include "picture/keyboard_window.h"
#include "shell/app_state.h"

namespace {

testing::Environment* const gdiplus = testing::AddGlobalTestEnvironment(new GdiplusSession);

UINT const kQuadrants = 1; // 8x8: red, green / blue, yellow quarters
UINT const kNotAnImage = 2;

bool hiddenBeforeDefault = false;

LRESULT CALLBACK PictureWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        PaintKeyboardWindow(window);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_SIZE:
        RepaintAfterSize(window, wParam);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_SIZING: EnforceMinimumSize(window, wParam, reinterpret_cast<RECT*>(lParam)); return 0;
    case WM_CLOSE: HideKeyboardWindow(); return 0;
    case WM_SYSCOMMAND:
        HideOnMinimize(wParam);
        hiddenBeforeDefault = !IsWindowVisible(window);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: SetForegroundWindow(window); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const char kClassName[] = "QelvaroPictureTest";

void RegisterPictureClass() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PictureWndProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

COLORREF const kRed = RGB(230, 30, 30);
COLORREF const kGreen = RGB(30, 200, 60);
COLORREF const kBlue = RGB(40, 60, 220);
COLORREF const kYellow = RGB(250, 220, 20);
COLORREF const kWhite = RGB(255, 255, 255);

// The picture is scaled with filtering, so allow a little either way.
bool Near(COLORREF actual, COLORREF expected) {
    return std::abs(GetRValue(actual) - GetRValue(expected)) <= 12 &&
           std::abs(GetGValue(actual) - GetGValue(expected)) <= 12 &&
           std::abs(GetBValue(actual) - GetBValue(expected)) <= 12;
}

std::string Describe(COLORREF colour) {
    return "RGB(" + std::to_string(GetRValue(colour)) + "," + std::to_string(GetGValue(colour)) +
           "," + std::to_string(GetBValue(colour)) + ")";
}

class KeyboardWindow : public testing::Test {
  protected:
    CGdiPlusBitmapResource picture;

    static void SetUpTestSuite() {
        RegisterPictureClass();
    }

    void SetUp() override {
        ASSERT_TRUE(picture.LoadFromResource(kQuadrants, "PNG", nullptr));
        app.keyboardImage = nullptr;
        app.viewKeyboard = 0;
        app.alwaysOnTop = 0;
        app.lastSizingRect = RECT{};
        app.mainWindow = CreateWindowExA(0, kClassName, "Qelvaro", WS_OVERLAPPEDWINDOW, 0, 0, 973,
                                         497, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(app.mainWindow, nullptr);
    }

    void TearDown() override {
        DestroyWindow(app.mainWindow);
        app.mainWindow = nullptr;
        app.keyboardImage = nullptr;
        PumpMessages();
    }

    static HWND Window() {
        return app.mainWindow;
    }

    static RECT WindowRect() {
        RECT rect;
        GetWindowRect(Window(), &rect);
        return rect;
    }

    static RECT ClientRect() {
        RECT rect;
        GetClientRect(Window(), &rect);
        return rect;
    }

    // Shows the window, lets it paint, then reads client pixels from the screen.
    static COLORREF ClientPixel(int x, int y) {
        PumpMessages();
        UpdateWindow(Window());
        HDC dc = GetDC(Window());
        const COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(Window(), dc);
        return colour;
    }

    static void ExpectQuadrants() {
        const RECT client = ClientRect();
        const int w = client.right;
        const int h = client.bottom;
        SCOPED_TRACE("client " + std::to_string(w) + "x" + std::to_string(h));
        // Quarter centres, points towards the corners and towards the middle lines. Points
        // within about a source pixel of an edge or a colour boundary are left out: the scaling
        // filter blends there, and with the background at the picture's edges.
        const struct {
            int x, y;
            COLORREF colour;
        } samples[] = {{w / 4, h / 4, kRed},
                       {3 * w / 4, h / 4, kGreen},
                       {w / 4, 3 * h / 4, kBlue},
                       {3 * w / 4, 3 * h / 4, kYellow},
                       {w / 5, h / 5, kRed},
                       {w * 4 / 5, h * 4 / 5, kYellow},
                       {w * 3 / 10, h * 3 / 10, kRed},
                       {w * 7 / 10, h * 3 / 10, kGreen},
                       {w * 3 / 10, h * 7 / 10, kBlue},
                       {w * 7 / 10, h * 7 / 10, kYellow}};
        for (const auto& sample : samples) {
            const COLORREF actual = ClientPixel(sample.x, sample.y);
            EXPECT_TRUE(Near(actual, sample.colour))
                << "at " << sample.x << "," << sample.y << ": " << Describe(actual) << ", expected "
                << Describe(sample.colour);
        }
    }

    static void ExpectAllWhite() {
        const RECT client = ClientRect();
        for (int fy = 1; fy < 8; fy += 2) {
            for (int fx = 1; fx < 8; fx += 2) {
                const int x = client.right * fx / 8;
                const int y = client.bottom * fy / 8;
                EXPECT_EQ(ClientPixel(x, y), kWhite) << "at " << x << "," << y;
            }
        }
    }
};

TEST_F(KeyboardWindow, PaintsThePictureStretchedToAnySize) {
    app.keyboardImage = &picture;
    ShowKeyboardWindow();
    ExpectQuadrants();
    // Outer sizes: wide and flat, tall and narrow, and the minimum the sizing rule allows.
    const SIZE sizes[] = {{1200, 300}, {300, 800}, {640, 480}, {96 * 3, 46 * 4}};
    for (const SIZE& size : sizes) {
        SetWindowPos(Window(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        ExpectQuadrants();
    }
}

TEST_F(KeyboardWindow, ClientAreaIsWhiteWithoutAPicture) {
    CGdiPlusBitmapResource failed;
    ASSERT_FALSE(failed.LoadFromResource(kNotAnImage, "PNG", nullptr));
    struct Case {
        const char* what;
        CGdiPlusBitmapResource* holder;
    };
    for (const Case& c : {Case{"no holder", nullptr}, Case{"holder of a failed load", &failed}}) {
        SCOPED_TRACE(c.what);
        app.keyboardImage = c.holder;
        ShowKeyboardWindow();
        ExpectAllWhite();
        SetWindowPos(Window(), nullptr, 0, 0, 500, 260, SWP_NOMOVE | SWP_NOZORDER);
        ExpectAllWhite();
        SetWindowPos(Window(), nullptr, 0, 0, 973, 497, SWP_NOMOVE | SWP_NOZORDER);
    }
}

TEST_F(KeyboardWindow, RestoreAndMaximizeRepaintTheWholeClientAreaOtherSizesDoNot) {
    ShowKeyboardWindow();
    PumpMessages();
    struct Case {
        WPARAM sizeType;
        bool repaints;
    };
    const Case cases[] = {{SIZE_RESTORED, true},
                          {SIZE_MAXIMIZED, true},
                          {SIZE_MINIMIZED, false},
                          {SIZE_MAXSHOW, false},
                          {SIZE_MAXHIDE, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sizeType);
        ValidateRect(Window(), nullptr);
        SendMessageA(Window(), WM_SIZE, c.sizeType, MAKELPARAM(100, 100));
        RECT update{};
        EXPECT_EQ(GetUpdateRect(Window(), &update, FALSE) != FALSE, c.repaints);
        if (c.repaints) {
            const RECT client = ClientRect();
            EXPECT_TRUE(EqualRect(&update, &client));
        }
    }
}

TEST_F(KeyboardWindow, SizingKeepsTheMinimumOuterSizeOnTheDraggedEdge) {
    ShowKeyboardWindow();
    struct Case {
        const char* what;
        WPARAM edge;
        RECT proposed;
        RECT expected;
    };
    // Each proposal differs from the one before: a repeated one is skipped on purpose.
    const Case cases[] = {
        {"left edge, 80 wide", WMSZ_LEFT, {120, 100, 200, 300}, {104, 100, 200, 300}},
        {"bottom-right, 50x30", WMSZ_BOTTOMRIGHT, {100, 110, 150, 140}, {100, 110, 196, 156}},
        {"top-left, 50x30", WMSZ_TOPLEFT, {110, 100, 160, 130}, {64, 84, 160, 130}},
        {"top edge, narrow and flat", WMSZ_TOP, {100, 100, 150, 130}, {100, 84, 150, 130}},
        {"right edge, flat", WMSZ_RIGHT, {100, 120, 150, 150}, {100, 120, 196, 150}},
        {"bottom-left, narrow", WMSZ_BOTTOMLEFT, {300, 100, 350, 400}, {254, 100, 350, 400}},
        {"top-right, flat", WMSZ_TOPRIGHT, {100, 200, 400, 230}, {100, 184, 400, 230}},
        {"bottom edge, flat", WMSZ_BOTTOM, {100, 130, 150, 160}, {100, 130, 150, 176}},
        {"exactly the minimum", WMSZ_BOTTOMRIGHT, {10, 20, 106, 66}, {10, 20, 106, 66}},
        {"large enough", WMSZ_LEFT, {0, 0, 500, 300}, {0, 0, 500, 300}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RECT rect = c.proposed;
        EXPECT_EQ(SendMessageA(Window(), WM_SIZING, c.edge, reinterpret_cast<LPARAM>(&rect)), 0);
        EXPECT_TRUE(EqualRect(&rect, &c.expected))
            << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
        EXPECT_TRUE(EqualRect(&app.lastSizingRect, &c.proposed)) << "the proposal, unadjusted";
        // The window goes where the rule put it, though the system keeps its own minimum
        // tracking size (112 wide under Wine), which is larger than ours.
        const RECT actual = WindowRect();
        const LONG width = std::max(c.expected.right - c.expected.left,
                                    static_cast<LONG>(GetSystemMetrics(SM_CXMINTRACK)));
        const LONG height = std::max(c.expected.bottom - c.expected.top,
                                     static_cast<LONG>(GetSystemMetrics(SM_CYMINTRACK)));
        const RECT placed = {c.expected.left, c.expected.top, c.expected.left + width,
                             c.expected.top + height};
        EXPECT_TRUE(EqualRect(&actual, &placed)) << "window at " << actual.left << "," << actual.top
                                                 << "," << actual.right << "," << actual.bottom;
    }
}

TEST_F(KeyboardWindow, SizingWithTheSameProposalAgainChangesNothing) {
    ShowKeyboardWindow();
    RECT first = {100, 100, 150, 130};
    SendMessageA(Window(), WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&first));
    const RECT placed = WindowRect();
    ValidateRect(Window(), nullptr);

    RECT again = {100, 100, 150, 130};
    EXPECT_EQ(SendMessageA(Window(), WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&again)),
              0);
    const RECT unchanged = {100, 100, 150, 130};
    EXPECT_TRUE(EqualRect(&again, &unchanged)) << "left below the minimum, as proposed";
    const RECT now = WindowRect();
    EXPECT_TRUE(EqualRect(&now, &placed));
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(Window(), &update, FALSE)) << "no repaint either";
}

TEST_F(KeyboardWindow, CloseOnlyHides) {
    ShowKeyboardWindow();
    ASSERT_TRUE(IsWindowVisible(Window()));
    EXPECT_EQ(SendMessageA(Window(), WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(Window()));
    EXPECT_FALSE(IsWindowVisible(Window()));
    EXPECT_EQ(app.viewKeyboard, 0u);
}

TEST_F(KeyboardWindow, MinimizeHidesBeforeTheDefaultMinimizeOtherCommandsDoNotHide) {
    struct Case {
        const char* what;
        WPARAM command;
        bool hides;
    };
    for (const Case& c : {Case{"minimize", SC_MINIMIZE, true}, Case{"maximize", SC_MAXIMIZE, false},
                          Case{"restore", SC_RESTORE, false}}) {
        SCOPED_TRACE(c.what);
        ShowKeyboardWindow();
        hiddenBeforeDefault = false;
        SendMessageA(Window(), WM_SYSCOMMAND, c.command, 0);
        EXPECT_EQ(hiddenBeforeDefault, c.hides);
        EXPECT_EQ(app.viewKeyboard, c.hides ? 0u : 1u);
        if (c.hides) {
            // The default minimize still runs; it leaves the window iconic.
            EXPECT_TRUE(IsIconic(Window()));
        } else {
            EXPECT_TRUE(IsWindowVisible(Window()));
        }
    }
}

TEST_F(KeyboardWindow, OnlyTheWholeMinimizeValueHides) {
    app.viewKeyboard = 1;
    HideOnMinimize(SC_MINIMIZE | 2);
    EXPECT_EQ(app.viewKeyboard, 1u);
    HideOnMinimize(SC_MINIMIZE);
    EXPECT_EQ(app.viewKeyboard, 0u);
}

TEST_F(KeyboardWindow, ShowFollowsAlwaysOnTop) {
    struct Step {
        DWORD alwaysOnTop;
        bool topmost;
    };
    for (const Step& step : {Step{1, true}, Step{0, false}, Step{1, true}}) {
        SCOPED_TRACE(step.alwaysOnTop);
        app.alwaysOnTop = step.alwaysOnTop;
        ShowKeyboardWindow();
        EXPECT_TRUE(IsWindowVisible(Window()));
        EXPECT_EQ(app.viewKeyboard, 1u);
        const LONG_PTR extended = GetWindowLongPtrA(Window(), GWL_EXSTYLE);
        EXPECT_EQ((extended & WS_EX_TOPMOST) != 0, step.topmost);
    }
}

TEST_F(KeyboardWindow, AWindowHiddenWhileMaximizedComesBackRestored) {
    ShowKeyboardWindow();
    const RECT normal = WindowRect();
    ShowWindow(Window(), SW_MAXIMIZE);
    ASSERT_TRUE(IsZoomed(Window()));
    HideKeyboardWindow();
    ShowKeyboardWindow();
    EXPECT_TRUE(IsWindowVisible(Window()));
    EXPECT_FALSE(IsZoomed(Window()));
    const RECT now = WindowRect();
    EXPECT_TRUE(EqualRect(&now, &normal));
}

TEST_F(KeyboardWindow, AMinimizedWindowComesBackRestored) {
    ShowKeyboardWindow();
    SendMessageA(Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(IsIconic(Window()));
    ShowKeyboardWindow();
    EXPECT_TRUE(IsWindowVisible(Window()));
    EXPECT_FALSE(IsIconic(Window()));
}

TEST_F(KeyboardWindow, AClickInTheClientAreaBringsItForward) {
    ShowKeyboardWindow();
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 200,
                                 200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}) {
        SCOPED_TRACE(message);
        SetForegroundWindow(other);
        ASSERT_EQ(GetForegroundWindow(), other);
        EXPECT_EQ(SendMessageA(Window(), message, MK_LBUTTON, MAKELPARAM(10, 10)), 0);
        EXPECT_EQ(GetForegroundWindow(), Window());
    }
    DestroyWindow(other);
}

} // namespace
