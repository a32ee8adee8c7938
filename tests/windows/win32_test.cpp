// The program's Win32 parts in this process under Wine, with real input, where the outside cannot
// see them: ok() reports the line and goes on, as in Wine's tests; one test a process.
#include <windows.h>
#include <dbghelp.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>

#include "picture/gdiplus_bitmap.h"
#include "picture/keyboard_window.h"
#include "shell/app_state.h"
#include "shell/lifetime.h"
#include "shell/main_window.h"
#include "shell/tray_icon.h"
#include "shell/tray_menu.h"
#include "translation/hook_watchdog.h"
#include "translation/keyboard_hook.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

int failures;
#define ok(condition, ...)                                                                         \
    ((condition) ? (void)0                                                                         \
                 : (void)(++failures, printf("line %d: Test failed: ", __LINE__),                  \
                          printf(__VA_ARGS__), puts("")))

// Dispatches messages until done() holds (30 s at most, for faults), or else none comes for 30 ms.
bool PumpUntil(bool (*done)() = nullptr) {
    for (const ULONGLONG deadline = GetTickCount64() + 30000; GetTickCount64() < deadline;) {
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
            DispatchMessageW(&message);
        }
        const bool quiet =
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT) == WAIT_TIMEOUT;
        if (done != nullptr ? done() : quiet) {
            return true;
        }
    }
    return done == nullptr;
}

// The program's state as at start-up: layout built, main window made and hidden, icons loaded.
void ResetProgram() {
    app = AppState{};
    app.instance = GetModuleHandleA(nullptr);
    BuildLayout(app.LayoutTable);
    LoadTrayIcons();
    ok(RegisterMainWindowClass() && CreateMainWindow(), "the main window could not be made");
}

// Real key events in one call, by scan code as a keyboard sends them (Wine 8 takes wVk besides).
void SendKeys(std::initializer_list<std::pair<BYTE, bool>> keys) {
    INPUT inputs[2] = {};
    UINT count = 0;
    for (const auto& [vk, down] : keys) {
        inputs[count].type = INPUT_KEYBOARD;
        inputs[count++].ki = {vk, static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)),
                              KEYEVENTF_SCANCODE | (down ? 0u : KEYEVENTF_KEYUP), 0, 0};
    }
    SendInput(count, inputs, sizeof inputs[0]);
    PumpUntil();
}

void SetCapsLock(bool on) {
    if (((GetKeyState(VK_CAPITAL) & 1) != 0) != on) {
        SendKeys({{VK_CAPITAL, true}, {VK_CAPITAL, false}});
    }
}

// Points this program's import of a function at a watcher that notes the call and forwards it.
template <typename Function>
void Watch(const char* dll, const char* name, Function& real, Function watcher) {
    real = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name)));
    ULONG size = 0;
    auto* slots = static_cast<void**>(ImageDirectoryEntryToData(GetModuleHandleA(nullptr), TRUE,
                                                                IMAGE_DIRECTORY_ENTRY_IAT, &size));
    for (size_t i = 0; i < size / sizeof(void*); ++i) {
        if (real != nullptr && slots[i] == reinterpret_cast<void*>(real)) {
            DWORD protection = 0;
            VirtualProtect(&slots[i], sizeof(void*), PAGE_READWRITE, &protection);
            slots[i] = reinterpret_cast<void*>(watcher);
            return;
        }
    }
    ok(false, "%s is not imported", name);
}

// What the watchers saw: the calls in order, the icon last shown, the SendInput and shell calls
// made inside the hook. The shell refuses refusedAdds adds, and Windows the program's input while
// refuseInput is set, as a window of higher integrity in front does.
std::string calls;
HICON shownIcon;
int refusedAdds, sendsInHook, shellCallsInHook;
bool refuseInput;
#define WATCHER(dll, result, name, parameters, arguments, noting)                                  \
    decltype(&name) real##name;                                                                    \
    result WINAPI Watch##name parameters {                                                         \
        calls += " " #name;                                                                        \
        noting;                                                                                    \
        return real##name arguments;                                                               \
    }                                                                                              \
    bool const watching##name = (Watch(dll, #name, real##name, Watch##name), true);
WATCHER("shell32.dll", BOOL, Shell_NotifyIconA, (DWORD message, PNOTIFYICONDATAA icon),
        (message, icon), shellCallsInHook += app.hookBusy;
        if (message == NIM_ADD && refusedAdds > 0) return (--refusedAdds, FALSE);
        shownIcon = message == NIM_MODIFY ? icon->hIcon : shownIcon)
WATCHER("user32.dll", UINT, SendInput, (UINT count, LPINPUT inputs, int size),
        (count, inputs, size), sendsInHook += app.hookBusy;
        if (refuseInput && app.hookBusy != 0) return 0)
WATCHER("kernel32.dll", HGLOBAL, GlobalFree, (HGLOBAL block), (block), )
WATCHER("user32.dll", BOOL, EndPaint, (HWND window, const PAINTSTRUCT* paint), (window, paint),
        calls += GetThreadPriority(GetCurrentThread()) == THREAD_PRIORITY_NORMAL ? "" : " raised")
WATCHER("gdiplus.dll", GpStatus, GdipDisposeImage, (GpImage * image), (image), )
WATCHER("gdiplus.dll", void, GdipFree, (void* memory), (memory), )
WATCHER("gdiplus.dll", void, GdiplusShutdown, (ULONG_PTR token), (token), )
WATCHER("gdiplus.dll", GpStatus, GdipDeleteGraphics, (GpGraphics * graphics), (graphics), )
WATCHER("gdiplus.dll", GpStatus, GdipDrawImageRectI,
        (GpGraphics * graphics, GpImage* image, INT x, INT y, INT w, INT h),
        (graphics, image, x, y, w, h),
        calls += " " + std::to_string(x + w) + "x" + std::to_string(y + h))

// A hook installed before the program's sees what it hands on or injects, a word an event: * while
// the program's hook is busy, + press or - release, the virtual key in hex (? when its scan code is
// not the key's) or U and the injected character.
char const kTranslated[] = "*+U14C4 *-U14C4 -4B", kPassed[] = "+4B -4B";
std::string seen;
HHOOK recorder;
HWND target;

LRESULT CALLBACK Record(int code, WPARAM wParam, LPARAM lParam) {
    const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
    char word[32];
    const bool packet = key.vkCode == VK_PACKET;
    snprintf(word, sizeof word, packet ? " %s%cU%04lX%s" : " %s%c%lX%s", app.hookBusy ? "*" : "",
             down ? '+' : '-', packet ? key.scanCode : key.vkCode,
             packet || key.scanCode == MapVirtualKeyA(key.vkCode, MAPVK_VK_TO_VSC) ? "" : "?");
    seen += seen.empty() ? word + 1 : word;
    return CallNextHookEx(recorder, code, wParam, lParam);
}

// A window in front to type into, the recording hook, Caps Lock on.
void StartTyping() {
    target = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 200, 200, 200, 100, nullptr,
                             nullptr, nullptr, nullptr);
    SetForegroundWindow(target);
    PumpUntil();
    recorder = recorder ? recorder : SetWindowsHookExA(WH_KEYBOARD_LL, Record, app.instance, 0);
    SetCapsLock(true);
    ok(GetForegroundWindow() == target, "the target window has no foreground");
}

std::string Typed(BYTE key) {
    seen.clear();
    SendKeys({{key, true}, {key, false}});
    return seen;
}

void HookEvents() {
    ResetProgram();
    StartTyping();
    EnableTranslation();
    enum Mode { Translate, Echo, EchoCapsLockOff, Busy, NoWindow, Refused };
    // Mode, Alt held, the key, what the recording hook sees, the balloon.
    const std::tuple<Mode, bool, BYTE, std::string, const char*> cases[] = {
        {Translate, false, 'K', kTranslated, "-"},
        {Translate, true, 'K', "*+A2 *+U14C5 *-U14C5 *-A2 -4B", "-"},
        {Echo, false, 'K', "*+4B *-4B -4B", "-"},
        {EchoCapsLockOff, false, 'K', kPassed, "Please press [CAPS LOCK] to type in Sendrith"},
        {EchoCapsLockOff, false, VK_CAPITAL, "+14 -14", ""},
        {Busy, false, 'K', "*+4B *-4B", "-"},
        {NoWindow, false, 'K', "-4B", "-"},
        {Refused, true, 'K', kPassed, "-"},
    };
    for (const auto& [mode, alt, key, expected, balloon] : cases) {
        SetCapsLock(mode != EchoCapsLockOff);
        app.echoMode = mode == Echo || mode == EchoCapsLockOff ? 1 : 0;
        app.hookBusy = mode == Busy ? 1 : 0;
        strcpy(app.trayData.szInfo, "-");
        if (mode == NoWindow) {
            DestroyWindow(target);
        }
        refuseInput = mode == Refused;
        SendKeys({{VK_LMENU, alt}});
        sendsInHook = shellCallsInHook = 0;
        const std::string typed = Typed(key);
        app.hookBusy = 0;
        SendKeys({{VK_LMENU, false}});
        const bool stuck = (GetAsyncKeyState(VK_LCONTROL) | GetAsyncKeyState(VK_LMENU)) & 0x8000;
        // One call for a key press's records, so that no other input comes between; the balloon
        // shown after the hook returned, as the shell may keep it waiting.
        ok(typed == expected && strcmp(app.trayData.szInfo, balloon) == 0 && !stuck &&
               (mode == Busy || sendsInHook <= 1) && shellCallsInHook == 0,
           "mode %d: seen \"%s\", balloon \"%s\", a modifier left down %d, %d calls, %d to "
           "the shell",
           mode, typed.c_str(), app.trayData.szInfo, stuck, sendsInHook, shellCallsInHook);
        if (!IsWindow(target)) {
            StartTyping();
        }
    }
}

// Without DESKTOP_HOOKCONTROL on its desktop a thread is refused hooks.
DWORD WINAPI EnableWithoutHookRights(LPVOID) {
    HDESK restricted = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS | DESKTOP_CREATEWINDOW);
    return restricted != nullptr && SetThreadDesktop(restricted) ? (EnableTranslation(), 0) : 1;
}

// The window the process's raw keyboard input goes to (the keyboard is all it registers).
HWND RawKeyboardTarget() {
    RAWINPUTDEVICE device{};
    UINT count = 1;
    return GetRegisteredRawInputDevices(&device, &count, sizeof device) == 1 ? device.hwndTarget
                                                                             : nullptr;
}

// A key typed, and the watch's check of it, made on the watch thread a little later.
LONG checksBefore;
std::string TypedAndChecked(BYTE key) {
    checksBefore = app.hookChecks;
    Typed(key);
    const std::string typed = seen;
    return PumpUntil([] { return app.hookChecks != checksBefore; }) ? typed : "no check";
}

// One hook whatever the order of the commands; a refused installation shows as off and "Enabled"
// tries again; a hook lost is put back.
void HookLifecycle() {
    ResetProgram();
    StartTyping();
    EnableTranslation();
    DisableTranslation();
    EnableTranslation();
    ok(app.hook != nullptr && shownIcon == app.iconTyping,
       "enabled again: no hook or a wrong icon");
    // Caps Lock's press and release read in one go, as a busy thread reads them: the hook's word
    // comes before the key's own messages, and the picture still follows the toggle.
    for (const HICON picture : {app.iconOn, app.iconTyping}) {
        SendKeys({{VK_CAPITAL, true}, {VK_CAPITAL, false}});
        ok(shownIcon == picture, "Caps Lock typed at once: the picture is %s",
           shownIcon == app.iconOn ? "on" : "not on");
    }
    // A Caps Lock the hook never saw turn (in an administrator's window) shows at the next key.
    app.trayCapsLock = 0;
    app.trayData.hIcon = shownIcon = app.iconOn;
    ok(Typed('K') == kTranslated && shownIcon == app.iconTyping, "an unseen Caps Lock: \"%s\"",
       seen.c_str());
    for (const UINT command : {IDM_ENABLED, IDM_ENABLED_ECHO, IDM_ENABLED}) {
        RunTrayCommand(command);
    }
    ok(Typed('K') == kTranslated && UnhookWindowsHookEx(app.hook) && Typed('K') == kPassed,
       "enabled while on: \"%s\"", seen.c_str());
    app.hook = nullptr;
    RunTrayCommand(IDM_DISABLED);
    RunTrayCommand(IDM_DISABLED);
    for (const DWORD before : {1u, 0u}) { // at start-up, and from "Enabled"
        app.translationOn = before;
        HANDLE thread = CreateThread(nullptr, 0, EnableWithoutHookRights, nullptr, 0, nullptr);
        DWORD result = WaitForSingleObject(thread, INFINITE);
        ok(GetExitCodeThread(thread, &result) && result == 0 && app.hook == nullptr &&
               app.translationOn == 0 && shownIcon == app.iconOff && Typed('K') == kPassed,
           "refused from %lu: thread %lu, \"%s\"", before, result, seen.c_str());
    }
    // The raw input goes to the watch thread's window, never to the hook's thread.
    RunTrayCommand(IDM_ENABLED);
    ok(app.watchWindow != nullptr && RawKeyboardTarget() == app.watchWindow, "raw input elsewhere");
    ok(TypedAndChecked('K') == kTranslated && app.hookReinstalls == 0,
       "not enabled after the refusal, or a healthy hook reinstalled: \"%s\"", seen.c_str());

    // The hook removed behind the program's back, as Windows removes a hook that timed out.
    const HHOOK dropped = app.hook;
    UnhookWindowsHookEx(dropped);
    Sleep(150); // clearly after the hook's last call, whatever the machine's load
    ok(Typed('K') == kPassed && PumpUntil([] { return app.hookReinstalls == 1; }) &&
           app.hook != dropped && Typed('K') == kTranslated,
       "not reinstalled after the drop: \"%s\"", seen.c_str());
    // Resume from sleep reinstalls even a live hook, which must not stay beside the new one.
    SendMessageA(app.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ok(app.hookReinstalls == 2 && TypedAndChecked('K') == kTranslated, "resume not reinstalled");
    // Off (no check pending, as one pauses raw input), nothing is watched, no hook of ours left.
    DisableTranslation();
    app.lastHookCall = 0; // noted at every call of a hook of the program's
    ok(RawKeyboardTarget() == nullptr && Typed('K') == kPassed && app.lastHookCall == 0,
       "raw input watched or a hook left while off: \"%s\"", seen.c_str());
    SendMessageA(app.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ok(app.hook == nullptr && Typed('K') == kPassed, "resume switched translation on");
    // Exit ends the watch thread with the program.
    HANDLE watchThread = nullptr;
    DuplicateHandle(GetCurrentProcess(), app.watchThread, GetCurrentProcess(), &watchThread,
                    SYNCHRONIZE, FALSE, 0);
    ShutDown();
    ok(watchThread != nullptr && app.watchThread == nullptr &&
           WaitForSingleObject(watchThread, 0) == WAIT_OBJECT_0,
       "the watch thread outlived the shutdown");
}

// The menu as shown, read in its modal loop: item ids, "*" on the checked, whether in front and at
// the click; then Always on Top chosen by mnemonic, so the command has to reach the window.
std::string shownMenu;

void CALLBACK ReadShownMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    for (int i = 0; i < GetMenuItemCount(app.trayMenu); ++i) {
        const bool checked = GetMenuState(app.trayMenu, i, MF_BYPOSITION) & MF_CHECKED;
        shownMenu += (checked ? " *" : " ") + std::to_string(GetMenuItemID(app.trayMenu, i));
    }
    // In front, or the menu would stay open when the user clicks elsewhere; at the click.
    HWND menu = FindWindowA("#32768", nullptr);
    RECT shown{};
    GetWindowRect(menu, &shown);
    shownMenu += GetForegroundWindow() == app.mainWindow ? "" : " behind";
    shownMenu += shown.left == 300 && shown.bottom == 400 ? "" : " elsewhere";
    PostMessageA(menu, WM_CHAR, 't', 0);
}

LRESULT OpenMenu(UINT mouseMessage) {
    shownMenu.clear();
    SetCursorPos(300, 400);
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadShownMenu);
    const LRESULT result = SendMessageA(app.mainWindow, WM_TRAYNOTIFY, ID_TRAY_ICON,
                                        static_cast<LPARAM>(mouseMessage));
    KillTimer(nullptr, timer);
    PumpUntil();
    return result;
}

// The tray icon and its menu, then the picture window painting, and the shutdown.
void Shell() {
    ResetProgram();
    app.translationOn = 1;
    AddTrayIcon();
    // Taken at once, the icon leaves no timer to wake the program.
    ok(app.trayData.hIcon == app.iconOn && app.trayData.hWnd == app.mainWindow &&
           app.trayData.uCallbackMessage == WM_TRAYNOTIFY &&
           !KillTimer(app.mainWindow, ID_TRAY_RETRY_TIMER),
       "added with the wrong icon or window, or a retry set");
    // A shell not ready at sign-in refuses the icon: tried again by a timer until taken.
    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
    refusedAdds = 2;
    AddTrayIcon();
    for (int retry = 1; retry <= 2; ++retry) {
        ok(KillTimer(app.mainWindow, ID_TRAY_RETRY_TIMER), "no retry %d", retry);
        SendMessageA(app.mainWindow, WM_TIMER, ID_TRAY_RETRY_TIMER, 0);
    }
    // A balloon's flag left set would show it again with every change of the picture.
    ok(refusedAdds == 0 && !KillTimer(app.mainWindow, ID_TRAY_RETRY_TIMER) &&
           ShowTrayBalloon(app.trayData, "a") == 0 &&
           app.trayData.uFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP),
       "not taken after two refusals, tried again once taken, or flags %x", app.trayData.uFlags);
    // A restarted shell has forgotten every icon, and announces its return.
    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
    SendMessageA(app.mainWindow, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    ok(ShowTrayBalloon(app.trayData, "back") == 0, "the icon was not added again");

    // Hook, echo mode, View Keyboard, Always on Top; the menu shown. Always on Top applies to a
    // shown window at once, to a hidden one once shown.
    const std::tuple<HHOOK, int32_t, DWORD, DWORD, const char*> cases[] = {
        {nullptr, 0, 0, 0, " *400 401 499 410 411 499 420 430"},
        {reinterpret_cast<HHOOK>(1), 0, 1, 0, " 400 *401 499 *410 411 499 420 430"},
        {reinterpret_cast<HHOOK>(1), 1, 0, 2, " 400 401 499 410 *411 499 420 430"},
        {nullptr, 1, 7, 1, " *400 401 499 *410 *411 499 420 430"},
    };
    HMENU previous = nullptr;
    for (const auto& [hook, echoMode, viewKeyboard, alwaysOnTop, menu] : cases) {
        app.hook = hook;
        app.echoMode = echoMode;
        app.alwaysOnTop = alwaysOnTop;
        viewKeyboard != 0 ? ShowKeyboardWindow() : HideKeyboardWindow();
        app.viewKeyboard = viewKeyboard;
        const bool opened = OpenMenu(WM_RBUTTONDOWN) == 1;
        const bool shown = IsWindowVisible(app.mainWindow) != 0;
        const bool topmost = (GetWindowLongA(app.mainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        ok(opened && shownMenu == menu && !IsMenu(previous) && shown == (viewKeyboard != 0) &&
               app.alwaysOnTop == (alwaysOnTop == 0) && (!shown || topmost == (alwaysOnTop == 0)),
           "menu%s, previous kept %d, shown %d, topmost %d", shownMenu.c_str(), IsMenu(previous),
           shown, topmost);
        previous = app.trayMenu;
    }
    ok(OpenMenu(WM_LBUTTONDOWN) == 1 && OpenMenu(WM_RBUTTONUP) == 0 && shownMenu.empty(),
       "the left button opens no menu, or a button's release opens one");

    // A new size repaints, stretching the whole picture over the client area, at normal priority
    // whatever the hook's thread runs at; DC and surface go.
    LoadKeyboardImage(); // starts GDI+ as the program does
    EnableTranslation();
    ShowKeyboardWindow();
    RECT client;
    GetClientRect(app.mainWindow, &client);
    const std::string size = std::to_string(client.right) + "x" + std::to_string(client.bottom);
    calls.clear();
    SendMessageA(app.mainWindow, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(client.right, client.bottom));
    UpdateWindow(app.mainWindow);
    ok(calls == " GdipDrawImageRectI " + size + " EndPaint GdipDeleteGraphics", "painted:%s",
       calls.c_str());
    calls.clear();
    ShutDown();
    ok(calls == " Shell_NotifyIconA GdipDisposeImage GdipFree GlobalFree GdiplusShutdown"
                " Shell_NotifyIconA",
       "shut down:%s", calls.c_str());
}

} // namespace

int main(int argc, char** argv) {
    const std::pair<const char*, void (*)()> tests[] = {
        {"hook_events", HookEvents}, {"hook_lifecycle", HookLifecycle}, {"shell", Shell}};
    for (const auto& test : tests) {
        if (argc == 2 && strcmp(argv[1], test.first) == 0) {
            test.second();
            // The next test starts with Caps Lock off, as every test does.
            SetCapsLock(false);
            printf("%s: %d failure(s)\n", argv[1], failures);
            return failures == 0 ? 0 : 1;
        }
    }
    printf("usage: %s TEST\n", argv[0]);
    return 2;
}
