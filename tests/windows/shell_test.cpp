// The program's icons and the tray icon's balloon, the tray menu as it is built for each click,
// and the notice about hidden tray icons, its boxes answered from a CBT hook.
#include "harness.h"

#include <shlwapi.h>

#include "picture/keyboard_window.h"
#include "shell/app_state.h"
#include "shell/settings.h"
#include "shell/tray_icon.h"
#include "shell/tray_menu.h"

namespace {

// Pixels clearly greener than red, less those clearly redder than green.
int Greenness(HICON icon) {
    ICONINFO info{};
    BITMAPINFO format{{sizeof(BITMAPINFOHEADER), 32, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    RGBQUAD pixels[32 * 32] = {};
    HDC screen = GetDC(nullptr);
    if (GetIconInfo(icon, &info)) {
        GetDIBits(screen, info.hbmColor, 0, 32, pixels, &format, DIB_RGB_COLORS);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    ReleaseDC(nullptr, screen);
    int greenness = 0;
    for (const RGBQUAD& pixel : pixels) {
        greenness += (pixel.rgbGreen > pixel.rgbRed + 64) - (pixel.rgbRed > pixel.rgbGreen + 64);
    }
    return greenness;
}

} // namespace

TEST_CASE(tray_balloon) {
    ResetProgram();
    const auto windowIcon = reinterpret_cast<HICON>(GetClassLongPtrA(app.mainWindow, GCLP_HICON));
    ok(Greenness(windowIcon) > 0, "the window's icon is not the program's");
    // Added (also again, after the shell restarts) with the green tick while on, the red sign
    // while off.
    for (const DWORD on : {0u, 1u}) {
        app.translationOn = on;
        AddTrayIcon();
        const int greenness = Greenness(app.trayData.hIcon);
        ok(on ? greenness > 0 : greenness < 0, "added while on %lu: greenness %d", on, greenness);
    }
    for (const size_t length : {255u, 256u, 300u, 0u}) {
        const std::string text(length, static_cast<char>('a' + length % 26));
        ok(ShowTrayBalloon(app.trayData, text.c_str()) == 0 &&
               text.compare(0, 255, app.trayData.szInfo) == 0,
           "%zu: refused or not cut to 255", length);
        // A flag left set would show the balloon again with every change of the picture.
        ok(app.trayData.uFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP), "%zu: flags %x", length,
           app.trayData.uFlags);
    }
    // A restarted shell has forgotten every icon, and announces its return.
    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
    ok(ShowTrayBalloon(app.trayData, "gone") == -1, "accepted for an icon the shell lacks");
    SendMessageA(app.mainWindow, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    ok(ShowTrayBalloon(app.trayData, "back") == 0, "the icon was not added again");
}

namespace {

// The menu as shown, read inside its modal loop: "id text" per item, * when checked.
std::string shownMenu;

void CALLBACK ReadShownMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    for (int i = 0; i < GetMenuItemCount(app.trayMenu); ++i) {
        char text[64] = {};
        GetMenuStringA(app.trayMenu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        const bool checked =
            GetMenuState(app.trayMenu, static_cast<UINT>(i), MF_BYPOSITION) & MF_CHECKED;
        shownMenu +=
            "|" + std::to_string(GetMenuItemID(app.trayMenu, i)) + (checked ? "*" : " ") + text;
    }
    // In front, or the menu would stay open when the user clicks elsewhere; at the click.
    RECT shown{};
    GetWindowRect(FindWindowA("#32768", nullptr), &shown);
    shownMenu += GetForegroundWindow() == app.mainWindow ? "" : "|behind";
    shownMenu += shown.left == 300 && shown.bottom == 400 ? "" : "|elsewhere";
    EndMenu();
}

LRESULT OpenMenu(UINT mouseMessage) {
    shownMenu.clear();
    SetCursorPos(300, 400);
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadShownMenu);
    const LRESULT result = SendMessageA(app.mainWindow, WM_TRAYNOTIFY, ID_TRAY_ICON,
                                        static_cast<LPARAM>(mouseMessage));
    KillTimer(nullptr, timer);
    return result;
}

} // namespace

TEST_CASE(tray_menu) {
    ResetProgram();
    const std::string rest =
        "|499 |410%cView &Keyboard|411%cKeyboard Always on &Top|499 |420 &Help|430 E&xit";
    const struct {
        HHOOK hook;
        int32_t echoMode;
        DWORD viewKeyboard, alwaysOnTop;
        const char* marks; // Disabled, Enabled, View Keyboard, Always on Top
    } cases[] = {
        {nullptr, 0, 0, 0, "*   "},
        {reinterpret_cast<HHOOK>(1), 0, 1, 0, " ** "},
        {reinterpret_cast<HHOOK>(1), 1, 0, 2, "   *"},
        {nullptr, 1, 7, 1, "* **"},
    };
    HMENU previous = nullptr;
    for (const auto& c : cases) {
        app.hook = c.hook;
        app.echoMode = c.echoMode;
        app.viewKeyboard = c.viewKeyboard;
        app.alwaysOnTop = c.alwaysOnTop;
        char expected[160];
        snprintf(expected, sizeof expected, ("|400%c&Disabled|401%c&Enabled" + rest).c_str(),
                 c.marks[0], c.marks[1], c.marks[2], c.marks[3]);
        ok(OpenMenu(WM_RBUTTONDOWN) == 1 && shownMenu == expected, "shown: %s", shownMenu.c_str());
        ok(previous == nullptr || !IsMenu(previous), "the previous menu was not destroyed");
        previous = app.trayMenu;
    }
    ok(OpenMenu(WM_LBUTTONDOWN) == 1 && !shownMenu.empty(), "the left button opens no menu");
    for (const UINT mouse : {WM_LBUTTONUP, WM_RBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEMOVE}) {
        ok(OpenMenu(mouse) == 0 && shownMenu.empty(), "mouse message %x opened the menu", mouse);
    }
    // "Always on Top" leaves a hidden window hidden, and applies once it is shown, or at once.
    HideKeyboardWindow();
    app.alwaysOnTop = 0;
    const struct {
        UINT command;
        bool shown, topmost;
    } steps[] = {{IDM_ALWAYS_ON_TOP, false, false},
                 {IDM_VIEW_KEYBOARD, true, true},
                 {IDM_ALWAYS_ON_TOP, true, false}};
    for (const auto& step : steps) {
        RunTrayCommand(step.command);
        const bool topmost = (GetWindowLongA(app.mainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        ok((IsWindowVisible(app.mainWindow) != 0) == step.shown && topmost == step.topmost,
           "after %u: shown %d, topmost %d", step.command, IsWindowVisible(app.mainWindow),
           topmost);
    }
}

namespace {

char const kExplorerKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

// The boxes shown, a letter each: N the notice with Yes and No, U "updated", X "NOT changed".
std::string boxes;
int answer;
HHOOK boxHook;

LRESULT CALLBACK AnswerBoxes(int code, WPARAM wParam, LPARAM lParam) {
    HWND box = reinterpret_cast<HWND>(wParam);
    char caption[64] = {}, text[1024] = {};
    if (code == HCBT_ACTIVATE && GetWindowTextA(box, caption, sizeof caption) &&
        std::string(caption) == "Qelvaro - Notice") {
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        const bool yesNo = GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDOK) == nullptr;
        const std::string t = text;
        boxes += yesNo && t.find("click YES below") != std::string::npos       ? 'N'
                 : t.find("has been updated accordingly") != std::string::npos ? 'U'
                 : t.find("has NOT been changed") != std::string::npos         ? 'X'
                                                                               : '?';
        PostMessageA(box, WM_COMMAND, yesNo ? answer : IDOK, 0);
    }
    return CallNextHookEx(boxHook, code, wParam, lParam);
}

} // namespace

// Over two start-ups each: what "EnableAutoTray" holds, the answer, the boxes shown and what it
// holds afterwards.
TEST_CASE(tray_notice) {
    boxHook = SetWindowsHookExA(WH_CBT, AnswerBoxes, nullptr, GetCurrentThreadId());
    const struct {
        DWORD autoTray;
        int answer;
        const char* boxes;
        DWORD after;
    } cases[] = {{0, IDYES, "", 0}, {7, IDNO, "NXNX", 7}, {1, IDYES, "NU", 0}};
    for (const auto& c : cases) {
        SHSetValueA(HKEY_CURRENT_USER, kExplorerKey, "EnableAutoTray", REG_DWORD, &c.autoTray, 4);
        boxes.clear();
        answer = c.answer;
        LoadSettings();
        LoadSettings();
        DWORD after = 0xBAD, size = sizeof after;
        SHGetValueA(HKEY_CURRENT_USER, kExplorerKey, "EnableAutoTray", nullptr, &after, &size);
        ok(boxes == c.boxes && after == c.after, "%lu answered %d: boxes %s, then %lu", c.autoTray,
           c.answer, boxes.c_str(), after);
    }
    // The programs started after this test must meet no notice.
    SHDeleteValueA(HKEY_CURRENT_USER, kExplorerKey, "EnableAutoTray");
}
