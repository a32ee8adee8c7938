// What the input and tray tests share: a message pump, the program's state reset, plain
// coloured icons and the picture the shell shows for an icon.
#pragma once

#include <windows.h>

#include <vector>

#include "shell/app_state.h"

// Returns once no message has arrived for 30 ms: hooks, the window and the shell have caught up.
inline void PumpMessages() {
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (GetTickCount64() < deadline) {
        MSG message;
        bool any = false;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            any = true;
        }
        if (!any && MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT) == WAIT_TIMEOUT) {
            return;
        }
    }
}

inline void ResetAppState() {
    app = AppState{};
    BuildLayout(app.LayoutTable);
}

// One colour all over, so that a single pixel of the tray tells which icon it shows.
inline HICON CreateSolidIcon(COLORREF colour) {
    HDC screen = GetDC(nullptr);
    HBITMAP image = CreateCompatibleBitmap(screen, 32, 32);
    HBITMAP mask = CreateBitmap(32, 32, 1, 1, nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(dc, image);
    HBRUSH brush = CreateSolidBrush(colour);
    const RECT all{0, 0, 32, 32};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    SelectObject(dc, mask);
    PatBlt(dc, 0, 0, 32, 32, BLACKNESS);
    SelectObject(dc, previous);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    ICONINFO info{TRUE, 0, 0, mask, image};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(image);
    return icon;
}

COLORREF const kOnColour = RGB(0, 200, 0);
COLORREF const kOffColour = RGB(200, 0, 0);

// Without a notification area on the X display, Wine's shell shows the icons in a window of its
// own, one child window per icon.
inline HWND StandaloneTray() {
    return FindWindowA("__winex11_standalone_tray", nullptr);
}

inline std::vector<HWND> TrayIconWindows() {
    std::vector<HWND> icons;
    for (HWND child = FindWindowExA(StandaloneTray(), nullptr, "__winex11_tray_icon", nullptr);
         child != nullptr;
         child = FindWindowExA(StandaloneTray(), child, "__winex11_tray_icon", nullptr)) {
        icons.push_back(child);
    }
    return icons;
}

// The icon window that is not among those listed before.
inline HWND NewTrayIconWindow(const std::vector<HWND>& before) {
    for (HWND icon : TrayIconWindows()) {
        bool known = false;
        for (HWND old : before) {
            known = known || old == icon;
        }
        if (!known) {
            return icon;
        }
    }
    return nullptr;
}

// The shell repaints in its own process, so wait a little for the expected colour.
inline COLORREF ShownColour(HWND iconWindow, COLORREF expected) {
    COLORREF seen = CLR_INVALID;
    for (int attempt = 0; attempt < 40; ++attempt) {
        PumpMessages();
        RECT place;
        GetWindowRect(iconWindow, &place);
        HDC screen = GetDC(nullptr);
        seen = GetPixel(screen, (place.left + place.right) / 2, (place.top + place.bottom) / 2);
        ReleaseDC(nullptr, screen);
        if (seen == expected) {
            break;
        }
        Sleep(50);
    }
    return seen;
}
