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
// Posted by the keyboard watch thread: keys arrived that the hook never saw.
UINT const WM_HOOKMISSEDKEYS = WM_APP + 2;
// Posted by the hook, which must not wait on the shell: wParam 1 shows the Caps Lock reminder,
// 0 takes it down.
UINT const WM_HINTBALLOON = WM_APP + 3;
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
    HICON iconTyping = nullptr; // translation on and Caps Lock on: the next key types a syllabic
    int32_t trayCapsLock = 0;   // the Caps Lock state the tray picture is chosen by
    CGdiPlusBitmapResource* keyboardImage = nullptr;
    ULONG_PTR gdiplusToken = 0;
    HMENU trayMenu = nullptr;
    RECT lastSizingRect{};
    int32_t hookBusy = 0;
    // The hook's watchdog (translation/hook_watchdog.h). The watch thread and the hook's thread
    // share only the three counters marked so, each read and written with Interlocked calls.
    HANDLE watchThread = nullptr;
    HWND watchWindow = nullptr;
    int32_t watching = 0;                // the watch thread's own
    int32_t hookCheckPending = 0;        // the watch thread's own
    LONG volatile lastHookCall = 0;      // shared: tick count of the hook's last call
    LONG volatile lastKeyboardInput = 0; // shared: time of the last raw key that began a check
    LONG volatile hookChecks = 0;        // shared: checks made, one a burst of keys
    DWORD lastHookReinstall = 0;
    DWORD hookReinstalls = 0;
    KBDLLHOOKSTRUCT lastKey{};
    ModifierSnapshot modifiers{};
    LayoutEntry LayoutTable[kLayoutEntryCount]{};
};

extern AppState app;
