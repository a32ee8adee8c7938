#include "translation/hook_watchdog.h"

#include "shell/app_state.h"
#include "translation/keyboard_hook.h"

namespace {

char const kWatchWindowClass[] = "Qelvaro keyboard watch";
UINT const WM_SETWATCH = WM_APP + 1; // wParam: 1 to watch, 0 to stop
UINT_PTR const ID_HOOK_CHECK_TIMER = 1;
UINT const kCheckDelayMs = 300;
// A live hook is called before the input it sees reaches the watch; raw input clearly later than
// the hook's last call was never shown to it.
LONG const kMissedAfterMs = 100;
// A window whose keys Windows keeps from hooks but not from raw input (a program running as
// administrator) would otherwise have the hook installed again at every key.
DWORD const kReinstallIntervalMs = 10000;
DWORD const kWatchThreadWaitMs = 5000;

void ReinstallKeyboardHook() {
    // The handle of a hook the system dropped is stale: removing it fails, harmlessly.
    UnhookWindowsHookEx(app.hook);
    app.hook = nullptr;
    app.lastHookReinstall = GetTickCount();
    ++app.hookReinstalls;
    EnableTranslation();
}

// Usage page 1, usage 6: keyboards. The sink delivers input while others have the foreground.
void RegisterKeyboardInput(HWND window, bool on) {
    RAWINPUTDEVICE keyboard{1, 6, static_cast<DWORD>(on ? RIDEV_INPUTSINK : RIDEV_REMOVE),
                            on ? window : nullptr};
    RegisterRawInputDevices(&keyboard, 1, sizeof keyboard);
}

// Everything below runs on the watch thread; app.watching and app.hookCheckPending are its own.

void StartHookCheck(HWND window, DWORD messageTime) {
    InterlockedExchange(&app.lastKeyboardInput, static_cast<LONG>(messageTime));
    if (app.hookCheckPending != 0) {
        return;
    }
    // One key is enough to check by: raw input pauses until the check, so that typing costs no
    // message for each key.
    RegisterKeyboardInput(window, false);
    app.hookCheckPending = SetTimer(window, ID_HOOK_CHECK_TIMER, kCheckDelayMs, nullptr) != 0;
}

void FinishHookCheck(HWND window) {
    KillTimer(window, ID_HOOK_CHECK_TIMER);
    app.hookCheckPending = 0;
    if (app.watching == 0) {
        return;
    }
    RegisterKeyboardInput(window, true);
    const LONG input = InterlockedCompareExchange(&app.lastKeyboardInput, 0, 0);
    const LONG hookCall = InterlockedCompareExchange(&app.lastHookCall, 0, 0);
    InterlockedIncrement(&app.hookChecks);
    if (input - hookCall > kMissedAfterMs) {
        PostMessageA(app.mainWindow, WM_HOOKMISSEDKEYS, 0, 0);
    }
}

void SetWatch(HWND window, bool watch) {
    app.watching = watch ? 1 : 0;
    if (!watch) {
        KillTimer(window, ID_HOOK_CHECK_TIMER);
        app.hookCheckPending = 0;
    }
    // While a check is pending the input is paused; the check turns it on again.
    if (!watch || app.hookCheckPending == 0) {
        RegisterKeyboardInput(window, watch);
    }
}

LRESULT CALLBACK WatchWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INPUT: StartHookCheck(window, static_cast<DWORD>(GetMessageTime())); break;
    case WM_TIMER: FinishHookCheck(window); return 0;
    case WM_SETWATCH: SetWatch(window, wParam != 0); return 0;
    case WM_DESTROY:
        SetWatch(window, false);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI WatchThread(void* ready) {
    app.watchWindow = CreateWindowExA(0, kWatchWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, app.instance, nullptr);
    SetEvent(ready);
    MSG message;
    while (app.watchWindow != nullptr && GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 0;
}

bool StartKeyboardWatch() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WatchWndProc;
    windowClass.hInstance = app.instance;
    windowClass.lpszClassName = kWatchWindowClass;
    RegisterClassA(&windowClass);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    app.watchThread = CreateThread(nullptr, 0, WatchThread, ready, 0, nullptr);
    if (app.watchThread != nullptr) {
        WaitForSingleObject(ready, kWatchThreadWaitMs);
    }
    CloseHandle(ready);
    return app.watchWindow != nullptr;
}

} // namespace

void WatchKeyboardInput(bool watch) {
    if (app.watchWindow == nullptr && (!watch || !StartKeyboardWatch())) {
        return;
    }
    // Sent, so that the registration has changed when this returns; the watch thread never
    // waits for this one.
    SendMessageA(app.watchWindow, WM_SETWATCH, watch ? 1 : 0, 0);
}

void StopKeyboardWatch() {
    if (app.watchThread == nullptr) {
        return;
    }
    PostMessageA(app.watchWindow, WM_CLOSE, 0, 0);
    WaitForSingleObject(app.watchThread, kWatchThreadWaitMs);
    CloseHandle(app.watchThread);
    app.watchThread = nullptr;
    app.watchWindow = nullptr;
}

void NoteHookCall() {
    InterlockedExchange(&app.lastHookCall, static_cast<LONG>(GetTickCount()));
}

void ReinstallMissedHook() {
    if (app.translationOn == 0) {
        return;
    }
    if (app.hookReinstalls != 0 && GetTickCount() - app.lastHookReinstall < kReinstallIntervalMs) {
        return;
    }
    ReinstallKeyboardHook();
}

void ReinstallAfterResume(WPARAM event) {
    if (event == PBT_APMRESUMEAUTOMATIC && app.translationOn != 0) {
        ReinstallKeyboardHook();
    }
}
