#include "keyboard_hook.h"

#include "shell/app_state.h"
#include "shell/tray_icon.h"
#include "translation/hook_watchdog.h"
#include "translation/key_decision.h"

namespace {

WORD const kScanLeftCtrl = 0x1D;
int const kHookThreadPriority = THREAD_PRIORITY_TIME_CRITICAL;

INPUT KeyboardRecord(WORD virtualKey, WORD scan, DWORD flags) {
    INPUT input;
    ZeroMemory(&input, sizeof input);
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    input.ki.dwExtraInfo = static_cast<ULONG_PTR>(GetMessageExtraInfo());
    return input;
}

int32_t KeyIsDown(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0 ? 1 : 0;
}

ModifierSnapshot TakeModifierSnapshot() {
    ModifierSnapshot snapshot{};
    snapshot.capsLock = (GetKeyState(VK_CAPITAL) & 1) != 0 ? 1 : 0;
    // With Caps Lock off a key passes, or shows the reminder, whatever Shift, Alt and Ctrl are:
    // the Latin keys, most keys of the desktop, cost one query.
    if (snapshot.capsLock == 0) {
        return snapshot;
    }
    snapshot.shift = KeyIsDown(VK_SHIFT);
    snapshot.alt = KeyIsDown(VK_MENU);
    snapshot.ctrl = KeyIsDown(VK_CONTROL);
    return snapshot;
}

WORD ScanCodeOf(uint8_t virtualKey) {
    return static_cast<WORD>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC) & 0xFF);
}

KeyAction Decide() {
    return DecideKeyAction(app.lastKey.vkCode, app.lastKey.scanCode, app.lastKey.flags,
                           app.modifiers, app.echoMode, app.LayoutTable);
}

// What replaces a key press, in one call: the character's or the echoed key's press and
// release, inside the Left-Ctrl wrap if there is one. Returns how many records Windows took.
UINT SendReplacement(const KeyAction& action) {
    INPUT records[4];
    UINT count = 0;
    if (action.ctrlWrap) {
        records[count++] = KeyboardRecord(VK_LCONTROL, kScanLeftCtrl, 0);
    }
    if (action.kind == KeyActionKind::InjectChar) {
        records[count++] = KeyboardRecord(0, action.character, KEYEVENTF_UNICODE);
        records[count++] = KeyboardRecord(0, action.character, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
    } else {
        const WORD scan = ScanCodeOf(action.virtualKey);
        records[count++] = KeyboardRecord(action.virtualKey, scan, 0);
        records[count++] = KeyboardRecord(action.virtualKey, scan, KEYEVENTF_KEYUP);
    }
    if (action.ctrlWrap) {
        records[count++] = KeyboardRecord(VK_LCONTROL, kScanLeftCtrl, KEYEVENTF_KEYUP);
    }
    // One call: Windows inserts its records with no other input between them, so no other key
    // becomes a Ctrl shortcut, and a Left-Ctrl release cannot be lost without its press.
    return SendInput(count, records, sizeof(INPUT));
}

// Whether the key press is swallowed: the balloon kinds pass, and so does a replacement that
// Windows refused, rather than vanish.
bool CarryOut(const KeyAction& action) {
    switch (action.kind) {
    case KeyActionKind::Pass: return false;
    // The shell may be busy or hung: the balloon is shown once the hook has returned.
    case KeyActionKind::PassShowHint:
        PostMessageA(app.mainWindow, WM_HINTBALLOON, 1, 0);
        return false;
    case KeyActionKind::PassClearHint:
        PostMessageA(app.mainWindow, WM_HINTBALLOON, 0, 0);
        return false;
    case KeyActionKind::InjectChar:
    case KeyActionKind::EchoKey: break;
    }
    // With no window in front there is nowhere to type; the press goes all the same.
    return GetForegroundWindow() == nullptr || SendReplacement(action) != 0;
}

} // namespace

LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
    // A store, nothing that waits or allocates: the watchdog's sign that the hook is alive.
    NoteHookCall();
    // While busy, the events are our own injections arriving nested inside SendInput.
    if (app.translationOn == 0 || app.hookBusy != 0 || nCode != HC_ACTION) {
        return CallNextHookEx(app.hook, nCode, wParam, lParam);
    }
    if (wParam != WM_KEYDOWN && wParam != WM_SYSKEYDOWN) {
        // By Caps Lock's release Windows has handled its press, which turns the toggle.
        if (reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)->vkCode == VK_CAPITAL) {
            FollowCapsLockSoon();
        }
        return CallNextHookEx(app.hook, nCode, wParam, lParam);
    }
    app.hookBusy = 1;
    app.lastKey = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    app.modifiers = TakeModifierSnapshot();
    // The tray shows whether the next key types a syllabic: a change of Caps Lock the hook could
    // not see (in an administrator's window, on the lock screen) shows at the next key it sees.
    if (app.modifiers.capsLock != app.trayCapsLock) {
        app.trayCapsLock = app.modifiers.capsLock; // told once, not at every key until then
        FollowCapsLockSoon();
    }
    KeyAction action = Decide();
    // A Windows key down makes every key pass, so it can change only a decision that does not:
    // asked about only then, the passing keys, most keys of the desktop, cost no more queries.
    if (action.kind != KeyActionKind::Pass) {
        app.modifiers.windowsKey = KeyIsDown(VK_LWIN) | KeyIsDown(VK_RWIN);
        action = Decide();
    }
    const bool swallowed = CarryOut(action);
    app.hookBusy = 0;
    if (swallowed) {
        return -1;
    }
    return CallNextHookEx(app.hook, nCode, wParam, lParam);
}

void EnableTranslation() {
    // Windows waits for a low-level hook only so long (LowLevelHooksTimeout, 300 ms by default),
    // then hands the key on and still types what the late hook injects: the letter and the
    // syllabic both. Above the programs that keep a machine busy, the hook is rarely that late.
    SetThreadPriority(GetCurrentThread(), kHookThreadPriority);
    app.hook = SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardHookProc, GetModuleHandleA(nullptr), 0);
    // A refused hook translates nothing: the icon says "off" and "Enabled" can try again.
    app.translationOn = app.hook != nullptr ? 1 : 0;
    WatchKeyboardInput(app.translationOn != 0);
    RefreshTrayIcon();
    Shell_NotifyIconA(NIM_MODIFY, &app.trayData);
}

void DisableTranslation() {
    HHOOK installed = app.hook;
    app.translationOn = 0;
    UnhookWindowsHookEx(installed);
    app.hook = nullptr;
    WatchKeyboardInput(false);
    RefreshTrayIcon();
    Shell_NotifyIconA(NIM_MODIFY, &app.trayData);
}
