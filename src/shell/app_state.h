// The program's one record of global state, and the identifiers its window understands.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "translation/key_decision.h"
#include "translation/layout.h"

class CGdiPlusBitmapResource;

UINT const WM_TRAYNOTIFY = WM_USER + 1;
// Posted by a second start: show the picture window in front.
UINT const WM_SHOWKEYBOARD = WM_APP + 1;
UINT const ID_TRAY_ICON = 202;

UINT const IDM_DISABLED = 400;
UINT const IDM_ENABLED = 401;
UINT const IDM_ENABLED_ECHO = 402;
UINT const IDM_VIEW_KEYBOARD = 410;
UINT const IDM_ALWAYS_ON_TOP = 411;
UINT const IDM_HELP = 420;
UINT const IDM_EXIT = 430;
UINT const IDM_SEPARATOR = 499;

struct AppState {
    DWORD translationOn = 1; // nonzero = on; persisted as "State"
    int32_t echoMode = 0;
    DWORD viewKeyboard = 0;
    DWORD alwaysOnTop = 0;
    HHOOK hook = nullptr;
    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    NOTIFYICONDATAA trayData{};
    HICON iconOn = nullptr;
    HICON iconOff = nullptr;
    CGdiPlusBitmapResource* keyboardImage = nullptr;
    ULONG_PTR gdiplusToken = 0;
    HMENU trayMenu = nullptr;
    RECT lastSizingRect{};
    int32_t hookBusy = 0;
    // The hook's watchdog: tick counts of the hook's last call, of the last raw keyboard input
    // and of the last reinstallation, and how many there were.
    DWORD lastHookCall = 0;
    DWORD lastKeyboardInput = 0;
    DWORD lastHookReinstall = 0;
    DWORD hookReinstalls = 0;
    int32_t hookCheckPending = 0;
    KBDLLHOOKSTRUCT lastKey{};
    ModifierSnapshot modifiers{};
    LayoutEntry LayoutTable[kLayoutEntryCount]{};
};

extern AppState app;
