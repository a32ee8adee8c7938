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
unsigned const kAlt = 2;
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

// The hook notes the time at each call: its clock counts the calls, once per installed hook.
int hookCalls;
decltype(&GetTickCount) realGetTickCount;
DWORD WINAPI CountingGetTickCount() {
    ++hookCalls;
    return realGetTickCount();
}

// The icon the shell was last told to show.
HICON shownIcon;
decltype(&Shell_NotifyIconA) realShell_NotifyIconA;
BOOL WINAPI NotedShell_NotifyIconA(DWORD message, PNOTIFYICONDATAA icon) {
    shownIcon = message == NIM_MODIFY ? icon->hIcon : shownIcon;
    return realShell_NotifyIconA(message, icon);
}

void SetUp() {
    ResetProgram();
    MakeTarget();
    recorder = SetWindowsHookExA(WH_KEYBOARD_LL, Record, GetModuleHandleA(nullptr), 0);
    Watch("kernel32.dll", "GetTickCount", realGetTickCount, CountingGetTickCount);
    Watch("shell32.dll", "Shell_NotifyIconA", realShell_NotifyIconA, NotedShell_NotifyIconA);
    SetCapsLock(true);
}

std::string Typed(Key key) {
    seen.clear();
    SendKey(key, true);
    SendKey(key, false);
    return seen;
}

enum class Mode { Translate, Echo, EchoCapsLockOff, Busy, NoWindow, Closing };

} // namespace

TEST_CASE(hook_events) {
    SetUp();
    EnableTranslation();
    const char* const reminder = "Please press [CAPS LOCK] to type in Sendrith";
    const struct {
        Mode mode;
        unsigned held;
        Key key;
        const char* seen;
        const char* balloon;
    } cases[] = {
        {Mode::Translate, 0, kK, kTranslated, "-"},
        {Mode::Translate, kAlt, kK, "*+A2 *+U14C5 *-U14C5 *-A2 -4B", "-"},
        {Mode::Echo, 0, kK, "*+4B *-4B -4B", "-"},
        {Mode::Echo, kAlt, kK, "*+A2 *+4B *-4B *-A2 -4B", "-"},
        {Mode::EchoCapsLockOff, 0, kK, kPassed, reminder},
        {Mode::EchoCapsLockOff, 0, kCapsLock, "+14 -14", ""},
        {Mode::Busy, 0, kK, "*+4B *-4B", "-"},
        {Mode::NoWindow, 0, kK, "-4B", "-"},
        {Mode::Closing, kAlt, kK, "*+A2 *-A2 -4B", "-"},
    };
    for (const auto& c : cases) {
        const size_t row = &c - cases;
        SetCapsLock(c.mode != Mode::EchoCapsLockOff);
        app.echoMode = c.mode == Mode::Echo || c.mode == Mode::EchoCapsLockOff ? 1 : 0;
        app.hookBusy = c.mode == Mode::Busy ? 1 : 0;
        strcpy(app.trayData.szInfo, "-");
        if (c.mode == Mode::NoWindow) {
            DestroyWindow(target);
        }
        closeOnCtrl = c.mode == Mode::Closing ? target : nullptr;
        for (unsigned bit = 0; bit < 3; ++bit) {
            if ((c.held & 1u << bit) != 0) {
                SendKey(kHeld[bit], true);
            }
        }
        ok(Typed(c.key) == c.seen && strcmp(app.trayData.szInfo, c.balloon) == 0 &&
               app.hookBusy == (c.mode == Mode::Busy ? 1 : 0),
           "row %zu: seen \"%s\", balloon \"%s\", busy %d", row, seen.c_str(), app.trayData.szInfo,
           app.hookBusy);
        app.hookBusy = 0;
        for (Key held : kHeld) {
            SendKey(held, false);
            ok((GetAsyncKeyState(held.vk) & 0x8000) == 0, "row %zu: %x left down", row, held.vk);
        }
        if (!IsWindow(target)) {
            MakeTarget();
        }
    }
}

// A desktop handle without DESKTOP_HOOKCONTROL is a documented reason for SetWindowsHookExA to
// refuse; a fresh thread can take such a handle as its desktop.
DWORD WINAPI EnableWithoutHookRights(LPVOID) {
    HDESK restricted = OpenInputDesktop(0, FALSE,
                                        DESKTOP_READOBJECTS | DESKTOP_WRITEOBJECTS |
                                            DESKTOP_CREATEWINDOW | DESKTOP_ENUMERATE);
    if (restricted == nullptr || !SetThreadDesktop(restricted)) {
        return 1;
    }
    EnableTranslation();
    return 0;
}

// Exactly one hook whatever the order of the commands: each key event calls the program's hook
// once per hook installed. A refused installation shows as off and "Enabled" tries again.
TEST_CASE(hook_lifecycle) {
    SetUp();
    EnableTranslation();
    DisableTranslation();
    ok(app.hook == nullptr && shownIcon == app.iconOff && Typed(kK) == kPassed,
       "disabled: icon on %d, \"%s\"", shownIcon == app.iconOn, seen.c_str());
    EnableTranslation();
    ok(app.hook != nullptr && shownIcon == app.iconOn, "enabled: no hook or off icon");
    for (const UINT command : {IDM_ENABLED, IDM_ENABLED_ECHO, IDM_ENABLED}) {
        RunTrayCommand(command);
    }
    hookCalls = 0;
    ok(Typed(kK) == kTranslated && hookCalls == 4, "enabled while on: \"%s\", %d calls",
       seen.c_str(), hookCalls);
    RunTrayCommand(IDM_DISABLED);
    RunTrayCommand(IDM_DISABLED);
    for (const DWORD before : {1u, 0u}) { // at start-up, and from "Enabled"
        app.translationOn = before;
        HANDLE thread = CreateThread(nullptr, 0, EnableWithoutHookRights, nullptr, 0, nullptr);
        DWORD result = 1;
        WaitForSingleObject(thread, INFINITE);
        GetExitCodeThread(thread, &result);
        ok(result == 0, "no desktop handle without hook rights");
        ok(app.hook == nullptr && app.translationOn == 0 && shownIcon == app.iconOff &&
               Typed(kK) == kPassed,
           "refused from %lu: on %lu, \"%s\"", before, app.translationOn, seen.c_str());
    }
    RunTrayCommand(IDM_ENABLED);
    ok(Typed(kK) == kTranslated, "enabled after the refusal: \"%s\"", seen.c_str());
}

// The hook removed behind the program's back, as Windows removes a hook that timed out.
TEST_CASE(hook_watchdog) {
    SetUp();
    const auto checked = [] { return app.hookCheckPending == 0; };
    RAWINPUTDEVICE devices[4];
    UINT count = 4;
    EnableTranslation();
    ok(GetRegisteredRawInputDevices(devices, &count, sizeof devices[0]) == 1 &&
           devices[0].usUsage == 6 && devices[0].hwndTarget == app.mainWindow &&
           devices[0].dwFlags == RIDEV_INPUTSINK,
       "raw keyboard input not registered for the main window, whatever window is in front");
    const DWORD start = GetTickCount();
    for (int i = 0; i < 10; ++i) {
        Typed(i % 2 == 0 ? kK : kQ);
    }
    ok(PumpUntil(checked) && app.lastKeyboardInput - start < 60000 && app.hookReinstalls == 0,
       "a healthy hook was reinstalled, or no raw input came");

    const HHOOK dropped = app.hook;
    ok(UnhookWindowsHookEx(dropped), "the hook could not be dropped");
    Sleep(150); // clearly after the hook's last call, whatever the machine's load
    ok(Typed(kK) == kPassed && PumpUntil([] { return app.hookReinstalls == 1; }) &&
           app.hook != dropped && Typed(kK) == kTranslated,
       "not reinstalled after the drop: \"%s\"", seen.c_str());
    // A second drop within ten seconds is left alone; resume from sleep reinstalls all the same.
    // (A pending check pauses the raw input: each step starts once it has run.)
    PumpUntil(checked);
    UnhookWindowsHookEx(app.hook);
    Sleep(150);
    Typed(kK);
    ok(app.hookCheckPending == 1 && PumpUntil(checked) && app.hookReinstalls == 1,
       "reinstalled twice within ten seconds");
    // The second resume finds the hook alive: it must not stay installed beside the new one.
    for (DWORD resumes = 1; resumes <= 2; ++resumes) {
        SendMessageA(app.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        ok(app.hookReinstalls == 1 + resumes && Typed(kK) == kTranslated,
           "not reinstalled after resume %lu", resumes);
    }

    // Off, no hook of the program's is left to be called: none was installed twice.
    PumpUntil(checked);
    DisableTranslation();
    count = 4;
    const DWORD input = app.lastKeyboardInput;
    hookCalls = 0;
    ok(GetRegisteredRawInputDevices(devices, &count, sizeof devices[0]) == 0 &&
           Typed(kK) == kPassed && PumpUntil() && app.lastKeyboardInput == input &&
           app.hookCheckPending == 0 && hookCalls == 0,
       "raw input watched or a hook left while off: %d calls", hookCalls);
    SendMessageA(app.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ok(app.hook == nullptr && Typed(kK) == kPassed, "resume switched translation on");
}
