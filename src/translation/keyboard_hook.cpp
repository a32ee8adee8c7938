#include "keyboard_hook.h"

#include "shell/app_state.h"
#include "shell/tray_icon.h"
#include "translation/hook_watchdog.h"
#include "translation/key_decision.h"

namespace {

const char kCapsLockReminder[] = "Please press [CAPS LOCK] to type in Sendrith";

UINT SendKeyboardRecord(WORD virtualKey, WORD scan, DWORD flags) {
    INPUT input;
    ZeroMemory(&input, sizeof input);
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    input.ki.dwExtraInfo = static_cast<ULONG_PTR>(GetMessageExtraInfo());
    return SendInput(1, &input, sizeof input);
}

int32_t KeyIsDown(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0 ? 1 : 0;
}

ModifierSnapshot TakeModifierSnapshot() {
    ModifierSnapshot snapshot;
    snapshot.capsLock = (GetKeyState(VK_CAPITAL) & 1) != 0 ? 1 : 0;
    snapshot.shift = KeyIsDown(VK_SHIFT);
    snapshot.alt = KeyIsDown(VK_MENU);
    snapshot.ctrl = KeyIsDown(VK_CONTROL);
    return snapshot;
}

BYTE ScanCodeOf(uint8_t virtualKey) {
    return static_cast<BYTE>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC) & 0xFF);
}

void CarryOut(const KeyAction& action) {
    switch (action.kind) {
    case KeyActionKind::Pass: return;
    case KeyActionKind::PassShowHint: ShowTrayBalloon(app.trayData, kCapsLockReminder); return;
    case KeyActionKind::PassClearHint: ShowTrayBalloon(app.trayData, ""); return;
    case KeyActionKind::InjectChar:
    case KeyActionKind::EchoKey: break;
    }
    const bool ctrlPressed = action.ctrlWrap && SendVirtualKeyEvent(VK_LCONTROL, 1) != 0;
    if (action.kind == KeyActionKind::InjectChar) {
        SendUnicodeChar(action.character);
    } else {
        EchoVirtualKey(action.virtualKey);
    }
    // The release goes out whenever the press did, even if the foreground window has gone in
    // between (it can close on the Ctrl press itself): a Left-Ctrl left down would turn every
    // later key of the desktop into a shortcut.
    if (ctrlPressed) {
        SendKeyboardRecord(VK_LCONTROL, 0, KEYEVENTF_KEYUP);
    }
}

} // namespace

LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
    // A store, nothing that waits or allocates: the watchdog's sign that the hook is alive.
    app.lastHookCall = GetTickCount();
    // While busy, the events are our own injections arriving nested inside SendInput.
    if (app.translationOn == 0 || app.hookBusy != 0 || nCode != HC_ACTION) {
        return CallNextHookEx(app.hook, nCode, wParam, lParam);
    }
    if (wParam != WM_KEYDOWN && wParam != WM_SYSKEYDOWN) {
        return CallNextHookEx(app.hook, nCode, wParam, lParam);
    }
    app.hookBusy = 1;
    app.lastKey = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    app.modifiers = TakeModifierSnapshot();
    const KeyAction action = DecideKeyAction(app.lastKey.vkCode, app.lastKey.scanCode,
                                             app.modifiers, app.echoMode, app.LayoutTable);
    CarryOut(action);
    app.hookBusy = 0;
    if (action.kind == KeyActionKind::InjectChar || action.kind == KeyActionKind::EchoKey) {
        return -1;
    }
    return CallNextHookEx(app.hook, nCode, wParam, lParam);
}

void SendUnicodeChar(uint16_t character) {
    if (GetForegroundWindow() == nullptr) {
        return;
    }
    SendKeyboardRecord(0, character, KEYEVENTF_UNICODE);
    SendKeyboardRecord(0, character, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
}

UINT SendVirtualKeyEvent(uint16_t virtualKey, int down) {
    if (GetForegroundWindow() == nullptr) {
        return 0;
    }
    return SendKeyboardRecord(virtualKey, 0, down == 1 ? 0 : KEYEVENTF_KEYUP);
}

void EchoVirtualKey(uint8_t virtualKey) {
    if (GetForegroundWindow() == nullptr) {
        return;
    }
    keybd_event(virtualKey, ScanCodeOf(virtualKey), 0, 0);
    keybd_event(virtualKey, ScanCodeOf(virtualKey), KEYEVENTF_KEYUP, 0);
}

void EnableTranslation() {
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
