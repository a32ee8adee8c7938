#include "harness.h"

#include <map>

#include "shell/app_state.h"
#include "shell/main_window.h"
#include "shell/tray_icon.h"

int failures = 0;

namespace {

std::map<std::string, void (*)()>& Tests() {
    static std::map<std::string, void (*)()> tests;
    return tests;
}

} // namespace

bool RegisterTest(const char* name, void (*run)()) {
    return Tests().emplace(name, run).second;
}

bool PumpUntil(bool (*done)()) {
    const ULONGLONG deadline = GetTickCount64() + 3000;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        if (done != nullptr && done()) {
            return true;
        }
        const DWORD wait = MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT);
        if ((done == nullptr && wait == WAIT_TIMEOUT) || GetTickCount64() > deadline) {
            return done == nullptr;
        }
    }
}

void ResetProgram() {
    app = AppState{};
    app.instance = GetModuleHandleA(nullptr);
    BuildLayout(app.LayoutTable);
    LoadTrayIcons();
    ok(RegisterMainWindowClass() && CreateMainWindow(), "the main window could not be made");
}

void SendKey(Key key, bool down) {
    // Windows takes the virtual key from the scan code here; Wine 8 takes wVk as given.
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki = {key.vk, key.scan, KEYEVENTF_SCANCODE | (down ? 0u : KEYEVENTF_KEYUP), 0, 0};
    SendInput(1, &input, sizeof input);
    PumpUntil();
}

void SetCapsLock(bool on) {
    if (((GetKeyState(VK_CAPITAL) & 1) != 0) != on) {
        SendKey({0x3A, VK_CAPITAL}, true);
        SendKey({0x3A, VK_CAPITAL}, false);
    }
}

int main(int argc, char** argv) {
    const auto test = Tests().find(argc == 2 ? argv[1] : "");
    if (test == Tests().end()) {
        printf("usage: %s TEST\n", argv[0]);
        return 2;
    }
    test->second();
    // A new thread takes Caps Lock's toggle from the desktop only once it types it: the next
    // test starts with it off, as every test does.
    SetCapsLock(false);
    printf("%s: %d failure(s)\n", argv[1], failures);
    return failures == 0 ? 0 : 1;
}
