// Real key events through the program's low-level hook. A recording hook installed before the
// program's sits behind it and sees what the program hands on or injects, a word an event: * when
// it arrives while the program's hook is busy (from inside its own SendInput), + press or
// - release, then the virtual key in hex, or U and the character of an injected one.
#include "harness.h"

#include <cstring>

#include "shell/app_state.h"
#include "shell/tray_menu.h"
#include "translation/hook_watchdog.h"
#include "translation/keyboard_hook.h"

namespace {

Key const kK{0x25, 'K'}, kQ{0x10, 'Q'}, kCapsLock{0x3A, VK_CAPITAL};
Key const kHeld[] = {{0x2A, VK_LSHIFT}, {0x38, VK_LMENU}, {0x1D, VK_LCONTROL}};
unsigned const kShift = 1, kAlt = 2, kCtrl = 4;
char const kTranslated[] = "*+U14C4 *-U14C4 -4B", kPassed[] = "+4B -4B";

std::string seen;
HHOOK recorder;
HWND target;
HWND closeOnCtrl; // destroyed when the program's Left-Ctrl press passes, as a window closing

LRESULT CALLBACK Record(int code, WPARAM wParam, LPARAM lParam) {
    const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
    char word[32];
    snprintf(word, sizeof word, key.vkCode == VK_PACKET ? " %s%cU%04lX" : " %s%c%lX",
             app.hookBusy != 0 ? "*" : "", down ? '+' : '-',
             key.vkCode == VK_PACKET ? key.scanCode : key.vkCode);
    seen += seen.empty() ? word + 1 : word;
    if (down && key.vkCode == VK_LCONTROL && closeOnCtrl != nullptr) {
        DestroyWindow(closeOnCtrl);
        closeOnCtrl = nullptr;
    }
    return CallNextHookEx(recorder, code, wParam, lParam);
}

void MakeTarget() {
    target = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 200, 200, 200, 100, nullptr,
                             nullptr, nullptr, nullptr);
    SetForegroundWindow(target);
    PumpUntil();
    ok(GetForegroundWindow() == target, "the target window has no foreground");
}

void SetUp() {
    ResetProgram();
    MakeTarget();
    recorder = SetWindowsHookExA(WH_KEYBOARD_LL, Record, GetModuleHandleA(nullptr), 0);
    SetCapsLock(true);
}

std::string Typed(Key key) {
    seen.clear();
    SendKey(key, true);
    SendKey(key, false);
    return seen;
}

// The hook notes the time at each call: its clock counts the calls, once per installed hook.
int hookCalls;
decltype(&GetTickCount) realGetTickCount;
DWORD WINAPI CountingGetTickCount() {
    ++hookCalls;
    return realGetTickCount();
}

enum class Mode { Translate, CapsLockOff, Echo, EchoCapsLockOff, Busy, Off, NoWindow, Closing };
char const kNoBalloon[] = "(none)";
char const kReminder[] = "Please press [CAPS LOCK] to type in Sendrith";

} // namespace

TEST_CASE(hook_events) {
    SetUp();
    EnableTranslation();
    const struct {
        const char* what;
        Mode mode;
        unsigned held;
        Key key;
        const char* seen;
        const char* balloon;
    } cases[] = {
        {"K", Mode::Translate, 0, kK, kTranslated, kNoBalloon},
        {"Alt+K", Mode::Translate, kAlt, kK, "*+A2 *+U14C5 *-U14C5 *-A2 -4B", kNoBalloon},
        {"Shift+Alt+Q", Mode::Translate, kShift | kAlt, kQ, "*+A2 *+U148C *-U148C *-A2 -51",
         kNoBalloon},
        {"Ctrl+Alt+K", Mode::Translate, kCtrl | kAlt, kK, "*+U14C5 *-U14C5 -4B", kNoBalloon},
        {"Ctrl+K", Mode::Translate, kCtrl, kK, kPassed, kNoBalloon},
        {"Caps Lock off", Mode::CapsLockOff, 0, kK, kPassed, kNoBalloon},
        {"echo K", Mode::Echo, 0, kK, "*+4B *-4B -4B", kNoBalloon},
        {"echo Alt+K", Mode::Echo, kAlt, kK, "*+A2 *+4B *-4B *-A2 -4B", kNoBalloon},
        {"echo, Caps Lock off", Mode::EchoCapsLockOff, 0, kK, kPassed, kReminder},
        {"echo, Caps Lock off, Caps Lock", Mode::EchoCapsLockOff, 0, kCapsLock, "+14 -14", ""},
        {"busy", Mode::Busy, 0, kK, "*+4B *-4B", kNoBalloon},
        {"translation off", Mode::Off, 0, kK, kPassed, kNoBalloon},
        {"no foreground window", Mode::NoWindow, 0, kK, "-4B", kNoBalloon},
        {"window closes inside the wrap", Mode::Closing, kAlt, kK, "*+A2 *-A2 -4B", kNoBalloon},
    };
    for (const auto& c : cases) {
        SetCapsLock(c.mode != Mode::CapsLockOff && c.mode != Mode::EchoCapsLockOff);
        app.echoMode = c.mode == Mode::Echo || c.mode == Mode::EchoCapsLockOff ? 1 : 0;
        app.hookBusy = c.mode == Mode::Busy ? 1 : 0;
        app.translationOn = c.mode == Mode::Off ? 0 : 1;
        strcpy(app.trayData.szInfo, kNoBalloon);
        if (c.mode == Mode::NoWindow) {
            DestroyWindow(target);
            PumpUntil();
        }
        closeOnCtrl = c.mode == Mode::Closing ? target : nullptr;
        for (unsigned bit = 0; bit < 3; ++bit) {
            if ((c.held & 1u << bit) != 0) {
                SendKey(kHeld[bit], true);
            }
        }
        const std::string typed = Typed(c.key);
        ok(typed == c.seen, "%s: seen \"%s\", expected \"%s\"", c.what, typed.c_str(), c.seen);
        ok(strcmp(app.trayData.szInfo, c.balloon) == 0, "%s: balloon \"%s\"", c.what,
           app.trayData.szInfo);
        ok(app.hookBusy == (c.mode == Mode::Busy ? 1 : 0), "%s: busy flag changed", c.what);
        app.hookBusy = 0;
        for (Key held : kHeld) {
            SendKey(held, false);
            ok((GetAsyncKeyState(held.vk) & 0x8000) == 0, "%s: %x left down", c.what, held.vk);
        }
        if (!IsWindow(target)) {
            MakeTarget();
        }
    }
    DisableTranslation();
}

// A desktop handle without DESKTOP_HOOKCONTROL is a documented reason for SetWindowsHookExA to
// refuse; a fresh thread can take such a handle as its desktop.
DWORD WINAPI EnableWithoutHookRights(LPVOID) {
    char name[256] = {};
    GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name,
                              nullptr);
    HDESK restricted = OpenDesktopA(name, 0, FALSE,
                                    DESKTOP_READOBJECTS | DESKTOP_WRITEOBJECTS |
                                        DESKTOP_CREATEWINDOW | DESKTOP_ENUMERATE);
    if (restricted == nullptr || !SetThreadDesktop(restricted)) {
        return 1;
    }
    EnableTranslation();
    return 0;
}

// Exactly one hook whatever the order of the commands: a hook left behind would go on
// translating after "Disabled". A refused installation shows as off and "Enabled" tries again.
TEST_CASE(hook_lifecycle) {
    SetUp();
    EnableTranslation();
    ok(app.hook != nullptr && app.trayData.hIcon == app.iconOn, "enabled: no hook or off icon");
    DisableTranslation();
    ok(app.hook == nullptr && app.trayData.hIcon == app.iconOff, "disabled: hook or on icon");
    ok(Typed(kK) == kPassed, "disabled: \"%s\"", seen.c_str());
    EnableTranslation();
    RunTrayCommand(IDM_ENABLED);
    RunTrayCommand(IDM_ENABLED_ECHO);
    RunTrayCommand(IDM_ENABLED);
    ok(Typed(kK) == kTranslated, "enabled while on: \"%s\"", seen.c_str());
    SetCapsLock(false);
    Watch("kernel32.dll", "GetTickCount", realGetTickCount, CountingGetTickCount);
    hookCalls = 0;
    Typed(kK);
    ok(hookCalls == 2, "%d calls of the hook for a press and a release", hookCalls);
    SetCapsLock(true);
    RunTrayCommand(IDM_DISABLED);
    RunTrayCommand(IDM_DISABLED);
    ok(Typed(kK) == kPassed, "a hook was left behind: \"%s\"", seen.c_str());

    for (const DWORD before : {1u, 0u}) { // at start-up, and from "Enabled"
        app.translationOn = before;
        HANDLE thread = CreateThread(nullptr, 0, EnableWithoutHookRights, nullptr, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        DWORD result = 1;
        GetExitCodeThread(thread, &result);
        CloseHandle(thread);
        ok(result == 0, "no desktop handle without hook rights");
        ok(app.hook == nullptr && app.translationOn == 0 && app.trayData.hIcon == app.iconOff,
           "refused from %lu: hook %p, on %lu", before, static_cast<void*>(app.hook),
           app.translationOn);
        ok(Typed(kK) == kPassed, "refused: \"%s\"", seen.c_str());
    }
    RunTrayCommand(IDM_ENABLED);
    ok(Typed(kK) == kTranslated, "enabled after the refusal: \"%s\"", seen.c_str());
    DisableTranslation();
}

// The hook removed behind the program's back, as Windows removes a hook that timed out.
TEST_CASE(hook_watchdog) {
    SetUp();
    const auto checked = [] { return app.hookCheckPending == 0; };
    RAWINPUTDEVICE devices[4];
    UINT count = 4;

    EnableTranslation();
    ok(GetRegisteredRawInputDevices(devices, &count, sizeof devices[0]) == 1 &&
           devices[0].usUsagePage == 1 && devices[0].usUsage == 6 &&
           devices[0].dwFlags == RIDEV_INPUTSINK && devices[0].hwndTarget == app.mainWindow,
       "raw keyboard input not registered for the main window");
    const DWORD start = GetTickCount();
    for (int i = 0; i < 10; ++i) {
        Typed(i % 2 == 0 ? kK : kQ);
    }
    ok(PumpUntil(checked) && app.lastKeyboardInput - start < 60000 && app.hookReinstalls == 0,
       "a healthy hook was reinstalled, or no raw input came");

    const HHOOK dropped = app.hook;
    ok(UnhookWindowsHookEx(dropped), "the hook could not be dropped");
    // Clearly after the hook's last call, whatever the machine's load.
    Sleep(150);
    ok(Typed(kK) == kPassed, "dropped: \"%s\"", seen.c_str());
    ok(PumpUntil([] { return app.hookReinstalls == 1; }) && app.hook != dropped,
       "not reinstalled after the drop");
    ok(Typed(kK) == kTranslated, "reinstalled: \"%s\"", seen.c_str());

    // A second drop within ten seconds is left alone.
    UnhookWindowsHookEx(app.hook);
    Sleep(150);
    Typed(kK);
    ok(app.hookCheckPending == 1 && PumpUntil(checked) && app.hookReinstalls == 1,
       "reinstalled twice within ten seconds");
    SendMessageA(app.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ok(app.hookReinstalls == 2 && Typed(kK) == kTranslated, "not reinstalled after resume");

    DisableTranslation();
    PumpUntil(checked);
    count = 4;
    ok(GetRegisteredRawInputDevices(devices, &count, sizeof devices[0]) == 0,
       "raw input still registered while off");
    const DWORD input = app.lastKeyboardInput;
    ok(Typed(kK) == kPassed, "a hook was left behind: \"%s\"", seen.c_str());
    PumpUntil();
    ok(app.lastKeyboardInput == input && app.hookCheckPending == 0 && app.hookReinstalls == 2,
       "raw input watched while off");
    SendMessageA(app.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ok(app.hook == nullptr && Typed(kK) == kPassed, "resume switched translation on");
}
