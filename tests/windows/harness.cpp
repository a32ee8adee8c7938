#include "harness.h"

#include <map>

#include "shell/app_state.h"
#include "shell/main_window.h"

namespace {

int failures = 0;

std::map<std::string, void (*)()>& Tests() {
    static std::map<std::string, void (*)()> tests;
    return tests;
}

} // namespace

void ReportFailure(const char* file, int line) {
    ++failures;
    printf("%s:%d: Test failed: ", file, line);
}

TestRegistration::TestRegistration(const char* name, void (*run)()) {
    Tests()[name] = run;
}

void PumpMessages() {
    const ULONGLONG deadline = GetTickCount64() + 2000;
    MSG message;
    do {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    } while (MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT) != WAIT_TIMEOUT &&
             GetTickCount64() < deadline);
}

bool PumpUntil(bool (*done)()) {
    const ULONGLONG deadline = GetTickCount64() + 3000;
    MSG message;
    while (!done() && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    return done();
}

void ResetProgram() {
    app = AppState{};
    app.instance = GetModuleHandleA(nullptr);
    BuildLayout(app.LayoutTable);
    app.iconOn = LoadIconA(nullptr, IDI_APPLICATION);
    app.iconOff = LoadIconA(nullptr, IDI_HAND);
    static const bool registered = RegisterMainWindowClass();
    ok(registered && CreateMainWindow(), "the main window could not be made");
}

void SendKey(Key key, bool down) {
    // Windows takes the virtual key from the scan code here; Wine 8 takes wVk as given.
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key.vk;
    input.ki.wScan = key.scan;
    input.ki.dwFlags = KEYEVENTF_SCANCODE | (down ? 0u : KEYEVENTF_KEYUP);
    SendInput(1, &input, sizeof input);
    PumpMessages();
}

void SetCapsLock(bool on) {
    if (((GetKeyState(VK_CAPITAL) & 1) != 0) != on) {
        SendKey({0x3A, VK_CAPITAL}, true);
        SendKey({0x3A, VK_CAPITAL}, false);
    }
}

int main(int argc, char** argv) {
    const auto test = argc == 2 ? Tests().find(argv[1]) : Tests().end();
    if (test == Tests().end()) {
        printf("usage: %s TEST, one of:", argv[0]);
        for (const auto& known : Tests()) {
            printf(" %s", known.first.c_str());
        }
        puts("");
        return 2;
    }
    test->second();
    // A new thread takes Caps Lock's toggle from the desktop only once it types it: the next
    // test starts with it off, as every test does.
    SetCapsLock(false);
    printf("%s: %d failure(s)\n", argv[1], failures);
    return failures == 0 ? 0 : 1;
}
