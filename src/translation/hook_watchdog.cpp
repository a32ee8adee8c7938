#include "translation/hook_watchdog.h"

#include "shell/app_state.h"
#include "translation/keyboard_hook.h"

namespace {

UINT const kCheckDelayMs = 300;
// A live hook is called before the input it sees is posted; raw input clearly later than the
// hook's last call was never shown to it.
LONG const kMissedAfterMs = 100;
// A window whose keys Windows keeps from hooks but not from raw input (a program running as
// administrator) would otherwise have the hook installed again at every key.
DWORD const kReinstallIntervalMs = 10000;

void ReinstallKeyboardHook() {
    // The handle of a hook the system dropped is stale: removing it fails, harmlessly.
    UnhookWindowsHookEx(app.hook);
    app.hook = nullptr;
    app.lastHookReinstall = GetTickCount();
    ++app.hookReinstalls;
    EnableTranslation();
}

} // namespace

void WatchKeyboardInput(bool watch) {
    // Usage page 1, usage 6: keyboards. The sink delivers input while others have the foreground.
    RAWINPUTDEVICE keyboard{1, 6, static_cast<DWORD>(watch ? RIDEV_INPUTSINK : RIDEV_REMOVE),
                            watch ? app.mainWindow : nullptr};
    RegisterRawInputDevices(&keyboard, 1, sizeof keyboard);
}

void NoteKeyboardInput(DWORD messageTime) {
    app.lastKeyboardInput = messageTime;
    if (app.hookCheckPending != 0) {
        return;
    }
    // One key is enough to check by: raw input pauses until the check, so that typing costs
    // the program no message for each key.
    WatchKeyboardInput(false);
    app.hookCheckPending =
        SetTimer(app.mainWindow, ID_HOOK_CHECK_TIMER, kCheckDelayMs, nullptr) != 0 ? 1 : 0;
}

void CheckKeyboardHook() {
    KillTimer(app.mainWindow, ID_HOOK_CHECK_TIMER);
    app.hookCheckPending = 0;
    if (app.translationOn == 0) {
        return;
    }
    WatchKeyboardInput(true);
    if (static_cast<LONG>(app.lastKeyboardInput - app.lastHookCall) <= kMissedAfterMs) {
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
