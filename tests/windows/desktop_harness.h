// What the input and tray tests share: a message pump, the program's state reset, and the
// program's tray icon with plain coloured pictures whose colour the shell's window shows.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

#include "shell/app_state.h"
#include "shell/tray_icon.h"

// Returns once no message has arrived for 30 ms: hooks, the window and the shell have caught up.
inline void PumpMessages() {
    const ULONGLONG deadline = GetTickCount64() + 2000;
    MSG message;
    do {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    } while (MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT) != WAIT_TIMEOUT &&
             GetTickCount64() < deadline);
}

inline void ResetAppState() {
    app = AppState{};
    BuildLayout(app.LayoutTable);
}

COLORREF const kOnColour = RGB(0, 200, 0);
COLORREF const kOffColour = RGB(200, 0, 0);

// One opaque colour all over, so that a single pixel of the tray tells which icon it shows.
inline HICON CreateSolidIcon(COLORREF colour) {
    const std::vector<DWORD> pixels(32 * 32, 0xFF000000 | GetRValue(colour) << 16 |
                                                 GetGValue(colour) << 8 | GetBValue(colour));
    const std::vector<BYTE> mask(32 * 32 / 8, 0);
    return CreateIcon(nullptr, 32, 32, 1, 32, mask.data(),
                      reinterpret_cast<const BYTE*>(pixels.data()));
}

// Without a notification area on the X display, Wine's shell shows the icons in a window of its
// own, one child window per icon.
inline std::vector<HWND> TrayIconWindows() {
    const HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
    std::vector<HWND> icons;
    for (HWND icon = FindWindowExA(tray, nullptr, "__winex11_tray_icon", nullptr); icon != nullptr;
         icon = FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr)) {
        icons.push_back(icon);
    }
    return icons;
}

// The program's icon, added for the state in app.translationOn and removed at the end; shown is
// the shell's window for it, the one that was not there before.
struct TestTrayIcon {
    HWND shown = nullptr;
    TestTrayIcon() {
        app.iconOn = CreateSolidIcon(kOnColour);
        app.iconOff = CreateSolidIcon(kOffColour);
        const std::vector<HWND> before = TrayIconWindows();
        AddTrayIcon();
        for (HWND icon : TrayIconWindows()) {
            if (std::find(before.begin(), before.end(), icon) == before.end()) {
                shown = icon;
            }
        }
    }
    ~TestTrayIcon() {
        Shell_NotifyIconA(NIM_DELETE, &app.trayData);
        DestroyIcon(app.iconOn);
        DestroyIcon(app.iconOff);
    }
};

// The colour at the middle of the icon's window. The shell repaints in its own process, so this
// waits a little for the expected colour.
inline COLORREF ShownColour(HWND iconWindow, COLORREF expected) {
    COLORREF seen = CLR_INVALID;
    for (int attempt = 0; attempt < 40 && seen != expected; ++attempt) {
        Sleep(attempt == 0 ? 0 : 50);
        PumpMessages();
        RECT place;
        GetWindowRect(iconWindow, &place);
        HDC screen = GetDC(nullptr);
        seen = GetPixel(screen, (place.left + place.right) / 2, (place.top + place.bottom) / 2);
        ReleaseDC(nullptr, screen);
    }
    return seen;
}
