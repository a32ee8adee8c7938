// The Left-Ctrl wrap when the window it types into goes away halfway: the Left-Ctrl the program
// pressed must come up again, or every later key of the desktop would be a Ctrl shortcut.
#include <windows.h>

#include <gtest/gtest.h>

#include "shell/app_state.h"
#include "translation/keyboard_hook.h"

namespace {

HWND target;
HHOOK closer;

// Sits behind the program's hook: the moment the program's own Left-Ctrl press passes, the
// window it types into is destroyed, as a window closing on Ctrl would be.
LRESULT CALLBACK CloseOnInjectedCtrl(int code, WPARAM wParam, LPARAM lParam) {
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (code == HC_ACTION && wParam == WM_KEYDOWN && key->vkCode == VK_LCONTROL &&
        (key->flags & LLKHF_INJECTED) != 0 && target != nullptr) {
        DestroyWindow(target);
        target = nullptr;
    }
    return CallNextHookEx(closer, code, wParam, lParam);
}

void SendKey(WORD virtualKey, WORD scan, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
}

void Pump() {
    MSG message;
    for (int round = 0; round < 20; ++round) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

bool Down(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

TEST(StuckModifier, LeftCtrlComesUpWhenTheWindowGoesAwayInsideTheWrap) {
    app = AppState{};
    BuildLayout(app.LayoutTable);
    target = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 200, 200, 200, 100, nullptr,
                             nullptr, nullptr, nullptr);
    SetForegroundWindow(target);
    Pump();
    ASSERT_EQ(GetForegroundWindow(), target);
    const bool capsLockWas = (GetKeyState(VK_CAPITAL) & 1) != 0;
    if (!capsLockWas) {
        SendKey(VK_CAPITAL, 0x3A, true);
        SendKey(VK_CAPITAL, 0x3A, false);
        Pump();
    }
    ASSERT_NE(GetKeyState(VK_CAPITAL) & 1, 0);
    closer = SetWindowsHookExA(WH_KEYBOARD_LL, CloseOnInjectedCtrl, GetModuleHandleA(nullptr), 0);
    EnableTranslation();
    ASSERT_NE(app.hook, nullptr);

    SendKey(VK_LMENU, 0x38, true); // Alt+K: the program wraps its character in Left-Ctrl
    SendKey('K', 0x25, true);
    Pump();
    const bool ctrlStuck = Down(VK_LCONTROL);
    SendKey('K', 0x25, false);
    SendKey(VK_LMENU, 0x38, false);
    Pump();

    EXPECT_EQ(target, nullptr) << "the window went away inside the wrap";
    EXPECT_FALSE(ctrlStuck) << "Left-Ctrl stayed down";
    DisableTranslation();
    UnhookWindowsHookEx(closer);
    SendKey(VK_LCONTROL, 0, false);
    if (!capsLockWas) {
        SendKey(VK_CAPITAL, 0x3A, true);
        SendKey(VK_CAPITAL, 0x3A, false);
    }
    Pump();
}

} // namespace
