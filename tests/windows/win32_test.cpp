// The program's Win32 parts in this process under Wine, with real input, where the outside cannot
// see them. In the style of Wine's conformance tests: ok() reports the line and a message and goes
// on; one test a process, named on the command line.
#include <windows.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstring>
#include <string>
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

// Dispatches messages until done() holds (or, without one, until none has come for 30 ms), for
// three seconds at most; whether done() came to hold.
bool PumpUntil(bool (*done)() = nullptr) {
    for (const ULONGLONG deadline = GetTickCount64() + 3000; GetTickCount64() < deadline;) {
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

// A real key event for the low-level hooks, by the scan code of the virtual key. (Windows takes
// the virtual key from the scan code; Wine 8 takes wVk as given.)
void SendKey(BYTE vk, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki = {vk, static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)),
                KEYEVENTF_SCANCODE | (down ? 0u : KEYEVENTF_KEYUP), 0, 0};
    SendInput(1, &input, sizeof input);
    PumpUntil();
}

void SetCapsLock(bool on) {
    if (((GetKeyState(VK_CAPITAL) & 1) != 0) != on) {
        SendKey(VK_CAPITAL, true);
        SendKey(VK_CAPITAL, false);
    }
}

// Points this program's import of a function at a watcher that notes the call and forwards it.
template <typename Function>
void Watch(const char* dll, const char* name, Function& real, Function watcher) {
    real = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name)));
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_DATA_DIRECTORY& table =
        reinterpret_cast<IMAGE_NT_HEADERS*>(base +
                                            reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew)
            ->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    auto* slots = reinterpret_cast<void**>(base + table.VirtualAddress);
    for (size_t i = 0; i < table.Size / sizeof(void*); ++i) {
        if (real != nullptr && slots[i] == reinterpret_cast<void*>(real)) {
            DWORD protection = 0;
            VirtualProtect(&slots[i], sizeof(void*), PAGE_READWRITE, &protection);
            slots[i] = reinterpret_cast<void*>(watcher);
            return;
        }
    }
    ok(false, "%s is not imported", name);
}

// What the watchers saw: the calls in order, and the icon the shell was last told to show.
std::string calls;
HICON shownIcon;
#define WATCHER(dll, result, name, parameters, arguments, noting)                                  \
    decltype(&name) real##name;                                                                    \
    result WINAPI Watch##name parameters {                                                         \
        calls += " " #name;                                                                        \
        noting;                                                                                    \
        return real##name arguments;                                                               \
    }                                                                                              \
    bool const watching##name = (Watch(dll, #name, real##name, Watch##name), true);
WATCHER("shell32.dll", BOOL, Shell_NotifyIconA, (DWORD message, PNOTIFYICONDATAA icon),
        (message, icon), shownIcon = message == NIM_MODIFY ? icon->hIcon : shownIcon)
WATCHER("kernel32.dll", HGLOBAL, GlobalAlloc, (UINT flags, SIZE_T bytes), (flags, bytes), )
WATCHER("kernel32.dll", HGLOBAL, GlobalFree, (HGLOBAL block), (block), )
WATCHER("user32.dll", HDC, BeginPaint, (HWND window, PAINTSTRUCT* paint), (window, paint), )
WATCHER("user32.dll", BOOL, EndPaint, (HWND window, const PAINTSTRUCT* paint), (window, paint), )
WATCHER("gdiplus.dll", GpStatus, GdipDisposeImage, (GpImage * image), (image), )
WATCHER("gdiplus.dll", void, GdipFree, (void* memory), (memory), )
WATCHER("gdiplus.dll", void, GdiplusShutdown, (ULONG_PTR token), (token), )
WATCHER("gdiplus.dll", GpStatus, GdipCreateFromHDC, (HDC dc, GpGraphics** graphics),
        (dc, graphics), )
WATCHER("gdiplus.dll", GpStatus, GdipDeleteGraphics, (GpGraphics * graphics), (graphics), )
WATCHER("gdiplus.dll", GpStatus, GdipDrawImageRectI,
        (GpGraphics * graphics, GpImage* image, INT x, INT y, INT w, INT h),
        (graphics, image, x, y, w, h),
        calls += (image != nullptr ? " " : " nothing ") + std::to_string(w) + "x" +
                 std::to_string(h) + " at " + std::to_string(x) + "," + std::to_string(y))

// Real key events through the program's hook. A recording hook installed before the program's
// sits behind it and sees what the program hands on or injects, a word an event: * when it arrives
// while the program's hook is busy (from inside its own SendInput), + press or - release, then the
// virtual key in hex, or U and the character of an injected one.
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

void StartTyping() {
    ResetProgram();
    MakeTarget();
    recorder = SetWindowsHookExA(WH_KEYBOARD_LL, Record, GetModuleHandleA(nullptr), 0);
    SetCapsLock(true);
}

std::string Typed(BYTE key) {
    seen.clear();
    SendKey(key, true);
    SendKey(key, false);
    return seen;
}

void HookEvents() {
    StartTyping();
    EnableTranslation();
    enum Mode { Translate, Echo, EchoCapsLockOff, Busy, NoWindow, Closing };
    const char* const reminder = "Please press [CAPS LOCK] to type in Sendrith";
    const struct {
        Mode mode;
        bool alt;
        BYTE key;
        const char *seen, *balloon;
    } cases[] = {
        {Translate, false, 'K', kTranslated, "-"},
        {Translate, true, 'K', "*+A2 *+U14C5 *-U14C5 *-A2 -4B", "-"},
        {Echo, false, 'K', "*+4B *-4B -4B", "-"},
        {Echo, true, 'K', "*+A2 *+4B *-4B *-A2 -4B", "-"},
        {EchoCapsLockOff, false, 'K', kPassed, reminder},
        {EchoCapsLockOff, false, VK_CAPITAL, "+14 -14", ""},
        {Busy, false, 'K', "*+4B *-4B", "-"},
        {NoWindow, false, 'K', "-4B", "-"},
        {Closing, true, 'K', "*+A2 *-A2 -4B", "-"},
    };
    for (const auto& c : cases) {
        SetCapsLock(c.mode != EchoCapsLockOff);
        app.echoMode = c.mode == Echo || c.mode == EchoCapsLockOff ? 1 : 0;
        app.hookBusy = c.mode == Busy ? 1 : 0;
        strcpy(app.trayData.szInfo, "-");
        if (c.mode == NoWindow) {
            DestroyWindow(target);
        }
        closeOnCtrl = c.mode == Closing ? target : nullptr;
        if (c.alt) {
            SendKey(VK_LMENU, true);
        }
        const std::string typed = Typed(c.key);
        const bool busy = app.hookBusy != 0;
        app.hookBusy = 0;
        SendKey(VK_LMENU, false);
        const bool stuck = (GetAsyncKeyState(VK_LCONTROL) | GetAsyncKeyState(VK_LMENU)) & 0x8000;
        ok(typed == c.seen && strcmp(app.trayData.szInfo, c.balloon) == 0 &&
               busy == (c.mode == Busy) && !stuck,
           "row %d: seen \"%s\", balloon \"%s\", busy %d, a modifier left down %d", int(&c - cases),
           typed.c_str(), app.trayData.szInfo, busy, stuck);
        if (!IsWindow(target)) {
            MakeTarget();
        }
    }
}

// A desktop handle without DESKTOP_HOOKCONTROL is a documented reason for SetWindowsHookExA to
// refuse; a fresh thread can take such a handle as its desktop.
DWORD WINAPI EnableWithoutHookRights(LPVOID) {
    HDESK restricted = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS | DESKTOP_CREATEWINDOW);
    return restricted != nullptr && SetThreadDesktop(restricted) ? (EnableTranslation(), 0) : 1;
}

// Exactly one hook whatever the order of the commands: with the program's own removed, a second
// would still translate. A refused installation shows as off and "Enabled" tries again.
void HookLifecycle() {
    StartTyping();
    EnableTranslation();
    DisableTranslation();
    ok(app.hook == nullptr && shownIcon == app.iconOff && Typed('K') == kPassed,
       "disabled: icon on %d, \"%s\"", shownIcon == app.iconOn, seen.c_str());
    EnableTranslation();
    ok(app.hook != nullptr && shownIcon == app.iconOn, "enabled: no hook or off icon");
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
        DWORD result = 1;
        WaitForSingleObject(thread, INFINITE);
        GetExitCodeThread(thread, &result);
        ok(result == 0 && app.hook == nullptr && app.translationOn == 0 &&
               shownIcon == app.iconOff && Typed('K') == kPassed,
           "refused from %lu: thread %lu, on %lu, \"%s\"", before, result, app.translationOn,
           seen.c_str());
    }
    RunTrayCommand(IDM_ENABLED);
    ok(Typed('K') == kTranslated, "enabled after the refusal: \"%s\"", seen.c_str());
}

// The hook removed behind the program's back, as Windows removes a hook that timed out.
void HookWatchdog() {
    StartTyping();
    const auto checked = [] { return app.hookCheckPending == 0; };
    EnableTranslation();
    for (const BYTE key : {'K', 'Q', 'K', 'Q'}) {
        Typed(key);
    }
    ok(PumpUntil(checked) && app.hookReinstalls == 0, "a healthy hook was reinstalled");

    const HHOOK dropped = app.hook;
    ok(UnhookWindowsHookEx(dropped), "the hook could not be dropped");
    Sleep(150); // clearly after the hook's last call, whatever the machine's load
    ok(Typed('K') == kPassed && PumpUntil([] { return app.hookReinstalls == 1; }) &&
           app.hook != dropped && Typed('K') == kTranslated,
       "not reinstalled after the drop: \"%s\"", seen.c_str());
    // A second drop within ten seconds is left alone; resume from sleep reinstalls all the same.
    // (A pending check pauses the raw input: each step starts once it has run.)
    PumpUntil(checked);
    UnhookWindowsHookEx(app.hook);
    Sleep(150);
    Typed('K');
    ok(app.hookCheckPending == 1 && PumpUntil(checked) && app.hookReinstalls == 1,
       "reinstalled twice within ten seconds");
    // The second resume finds the hook alive: it must not stay installed beside the new one.
    for (DWORD resumes = 1; resumes <= 2; ++resumes) {
        SendMessageA(app.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        ok(app.hookReinstalls == 1 + resumes && Typed('K') == kTranslated,
           "not reinstalled after resume %lu", resumes);
    }

    // Off, no hook of the program's is left to be called: none was installed twice.
    PumpUntil(checked);
    DisableTranslation();
    const DWORD input = app.lastKeyboardInput;
    app.lastHookCall = 0; // noted at every call of a hook of the program's
    ok(Typed('K') == kPassed && PumpUntil() && app.lastKeyboardInput == input &&
           app.hookCheckPending == 0 && app.lastHookCall == 0,
       "raw input watched or a hook left while off: \"%s\"", seen.c_str());
    SendMessageA(app.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ok(app.hook == nullptr && Typed('K') == kPassed, "resume switched translation on");
}

// Pixels clearly greener than red, less those clearly redder than green.
int Greenness(HICON icon) {
    ICONINFO info{};
    BITMAPINFO format{{sizeof(BITMAPINFOHEADER), 32, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    RGBQUAD pixels[32 * 32] = {};
    HDC screen = GetDC(nullptr);
    if (GetIconInfo(icon, &info)) {
        GetDIBits(screen, info.hbmColor, 0, 32, pixels, &format, DIB_RGB_COLORS);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    ReleaseDC(nullptr, screen);
    int greenness = 0;
    for (const RGBQUAD& pixel : pixels) {
        greenness += (pixel.rgbGreen > pixel.rgbRed + 64) - (pixel.rgbRed > pixel.rgbGreen + 64);
    }
    return greenness;
}

void TrayBalloon() {
    ResetProgram();
    const auto windowIcon = reinterpret_cast<HICON>(GetClassLongPtrA(app.mainWindow, GCLP_HICON));
    ok(Greenness(windowIcon) > 0, "the window's icon is not the program's");
    // Added (also again, after the shell restarts) with the green tick while on, the red sign
    // while off, and bound to the window's tray messages.
    for (const DWORD on : {0u, 1u}) {
        app.translationOn = on;
        AddTrayIcon();
        const int greenness = Greenness(app.trayData.hIcon);
        ok((on ? greenness > 0 : greenness < 0) && app.trayData.hWnd == app.mainWindow &&
               app.trayData.uCallbackMessage == WM_TRAYNOTIFY,
           "added while on %lu: greenness %d", on, greenness);
    }
    // A flag left set would show the balloon again with every change of the picture.
    for (const size_t length : {255u, 256u, 300u, 0u}) {
        const std::string text(length, static_cast<char>('a' + length % 26));
        ok(ShowTrayBalloon(app.trayData, text.c_str()) == 0 &&
               text.compare(0, 255, app.trayData.szInfo) == 0 &&
               app.trayData.uFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP),
           "%zu: refused, not cut to 255, or flags %x", length, app.trayData.uFlags);
    }
    // A restarted shell has forgotten every icon, and announces its return.
    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
    ok(ShowTrayBalloon(app.trayData, "gone") == -1, "accepted for an icon the shell lacks");
    SendMessageA(app.mainWindow, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    ok(ShowTrayBalloon(app.trayData, "back") == 0, "the icon was not added again");
}

// The menu as shown, read inside its modal loop: "id text" per item, * when checked.
std::string shownMenu;

void CALLBACK ReadShownMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    for (int i = 0; i < GetMenuItemCount(app.trayMenu); ++i) {
        char text[64] = {};
        GetMenuStringA(app.trayMenu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        const bool checked =
            GetMenuState(app.trayMenu, static_cast<UINT>(i), MF_BYPOSITION) & MF_CHECKED;
        shownMenu +=
            "|" + std::to_string(GetMenuItemID(app.trayMenu, i)) + (checked ? "*" : " ") + text;
    }
    // In front, or the menu would stay open when the user clicks elsewhere; at the click.
    HWND menu = FindWindowA("#32768", nullptr);
    RECT shown{};
    GetWindowRect(menu, &shown);
    shownMenu += GetForegroundWindow() == app.mainWindow ? "" : "|behind";
    shownMenu += shown.left == 300 && shown.bottom == 400 ? "" : "|elsewhere";
    // Chosen by its mnemonic, as a person chooses: the command has to reach the window.
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

void TrayMenu() {
    ResetProgram();
    const std::string rest =
        "|499 |410%cView &Keyboard|411%cKeyboard Always on &Top|499 |420 &Help|430 E&xit";
    const struct {
        HHOOK hook;
        int32_t echoMode;
        DWORD viewKeyboard, alwaysOnTop;
        const char* marks; // Disabled, Enabled, View Keyboard, Always on Top
    } cases[] = {
        {nullptr, 0, 0, 0, "*   "},
        {reinterpret_cast<HHOOK>(1), 0, 1, 0, " ** "},
        {reinterpret_cast<HHOOK>(1), 1, 0, 2, "   *"},
        {nullptr, 1, 7, 1, "* **"},
    };
    HMENU previous = nullptr;
    for (const auto& c : cases) {
        app.hook = c.hook;
        app.echoMode = c.echoMode;
        app.viewKeyboard = c.viewKeyboard;
        app.alwaysOnTop = c.alwaysOnTop;
        char expected[160];
        snprintf(expected, sizeof expected, ("|400%c&Disabled|401%c&Enabled" + rest).c_str(),
                 c.marks[0], c.marks[1], c.marks[2], c.marks[3]);
        ok(OpenMenu(WM_RBUTTONDOWN) == 1 && shownMenu == expected && !IsMenu(previous) &&
               (app.alwaysOnTop != 0) != (c.alwaysOnTop != 0),
           "shown: %s, the previous menu kept %d, T not run", shownMenu.c_str(), IsMenu(previous));
        previous = app.trayMenu;
    }
    ok(OpenMenu(WM_LBUTTONDOWN) == 1 && !shownMenu.empty(), "the left button opens no menu");
    for (const UINT mouse : {WM_LBUTTONUP, WM_RBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEMOVE}) {
        ok(OpenMenu(mouse) == 0 && shownMenu.empty(), "mouse message %x opened the menu", mouse);
    }
    // "Always on Top" leaves a hidden window hidden, and applies once it is shown, or at once.
    HideKeyboardWindow();
    app.alwaysOnTop = 0;
    for (const UINT command : {IDM_ALWAYS_ON_TOP, IDM_VIEW_KEYBOARD, IDM_ALWAYS_ON_TOP}) {
        RunTrayCommand(command);
        const bool topmost = (GetWindowLongA(app.mainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        const bool shown = IsWindowVisible(app.mainWindow) != 0;
        ok(shown == (app.viewKeyboard != 0) && (!shown || topmost == (app.alwaysOnTop != 0)),
           "after %u: shown %d, topmost %d", command, shown, topmost);
    }
}

// The layout picture from resource to screen: the loader, painting and shutdown.
void Picture() {
    ResetProgram();
    LoadKeyboardImage(); // starts GDI+ as the program does
    ok(app.keyboardImage != nullptr && app.keyboardImage->GetBitmap() != nullptr,
       "the program's picture did not load");

    // The test's own pictures (see the .rc), from the load through the holder's destruction; the
    // block goes after the bitmap.
    UINT const kQuadrants = 1, kNotAnImage = 2, kOtherType = 3, kEmpty = 4, kMissing = 77;
    const std::string taken = " GlobalAlloc GdipDisposeImage GdipFree GlobalFree";
    const std::string released = " GdipDisposeImage GdipFree GlobalFree";
    const struct {
        bool loadedBefore;
        UINT id;
        bool loads;
        std::string calls;
    } loads[] = {
        {false, kQuadrants, true, taken},
        {false, kMissing, false, ""},
        {false, kOtherType, false, ""},
        {false, kEmpty, false, ""},
        {false, kNotAnImage, false, taken},
        {true, kMissing, false, released},
        {true, kNotAnImage, false, released + taken},
        {true, kQuadrants, true, released + taken},
    };
    for (const auto& c : loads) {
        int kept = 0; // the load's answer, the bitmap and the block, a bit each
        {
            CGdiPlusBitmapResource holder;
            if (c.loadedBefore) {
                holder.LoadFromResource(kQuadrants, "PNG", nullptr);
            }
            calls.clear();
            kept = holder.LoadFromResource(c.id, "PNG", nullptr) |
                   (holder.GetBitmap() != nullptr) << 1 | (holder.imageMemory != nullptr) << 2;
        }
        ok(kept == (c.loads ? 7 : 0) && calls == c.calls, "resource %u after %d: kept %d, calls%s",
           c.id, c.loadedBefore, kept, calls.c_str());
    }

    // Every paint stretches the whole picture over the client area and releases its DC and surface.
    CGdiPlusBitmapResource failed;
    failed.LoadFromResource(kNotAnImage, "PNG", nullptr);
    CGdiPlusBitmapResource* const picture = app.keyboardImage;
    ShowKeyboardWindow();
    RECT client;
    GetClientRect(app.mainWindow, &client);
    const std::string size =
        std::to_string(client.right) + "x" + std::to_string(client.bottom) + " at 0,0";
    const std::pair<CGdiPlusBitmapResource*, std::string> paints[] = {
        {picture, " GdipDrawImageRectI " + size},
        {&failed, " GdipDrawImageRectI nothing " + size},
        {nullptr, ""}};
    for (const auto& [holder, drawing] : paints) {
        app.keyboardImage = holder;
        calls.clear();
        InvalidateRect(app.mainWindow, nullptr, TRUE);
        UpdateWindow(app.mainWindow);
        ok(calls == " BeginPaint GdipCreateFromHDC" + drawing + " EndPaint GdipDeleteGraphics",
           "painted:%s", calls.c_str());
    }
    app.keyboardImage = picture;

    // A frame to size the window by, and buttons to minimize and maximize it.
    RECT frame;
    TITLEBARINFO title{sizeof title, {}, {}};
    GetWindowRect(app.mainWindow, &frame);
    const LRESULT corner = SendMessageA(app.mainWindow, WM_NCHITTEST, 0,
                                        MAKELPARAM(frame.right - 1, frame.bottom - 1));
    ok(corner == HTBOTTOMRIGHT && GetTitleBarInfo(app.mainWindow, &title) &&
           ((title.rgstate[2] | title.rgstate[3]) & STATE_SYSTEM_INVISIBLE) == 0,
       "frame: corner %ld, buttons %lx %lx", long(corner), title.rgstate[2], title.rgstate[3]);
    // Restoring and maximizing repaint the stretched picture whole; minimizing does not.
    for (const WPARAM type : {SIZE_RESTORED, SIZE_MAXIMIZED, SIZE_MINIMIZED}) {
        RECT update{};
        ValidateRect(app.mainWindow, nullptr);
        SendMessageA(app.mainWindow, WM_SIZE, type, MAKELPARAM(client.right, client.bottom));
        const bool whole =
            GetUpdateRect(app.mainWindow, &update, FALSE) && EqualRect(&update, &client);
        ok(whole == (type != SIZE_MINIMIZED), "size type %u: repainted %d", unsigned(type), whole);
    }
    // A drag below the minimum grows the dragged edge; the same proposal again is left alone.
    for (const RECT& expected : {RECT{100, 100, 196, 146}, RECT{100, 100, 150, 130}}) {
        RECT proposed{100, 100, 150, 130};
        ok(SendMessageA(app.mainWindow, WM_SIZING, WMSZ_BOTTOMRIGHT,
                        reinterpret_cast<LPARAM>(&proposed)) == 0 &&
               EqualRect(&proposed, &expected),
           "sized to %ld,%ld,%ld,%ld", proposed.left, proposed.top, proposed.right,
           proposed.bottom);
    }

    calls.clear();
    ShutDown();
    ok(calls == " Shell_NotifyIconA GdipDisposeImage GdipFree GlobalFree GdiplusShutdown"
                " Shell_NotifyIconA",
       "shut down:%s", calls.c_str());
}

} // namespace

int main(int argc, char** argv) {
    const std::pair<const char*, void (*)()> tests[] = {
        {"hook_events", HookEvents},     {"hook_lifecycle", HookLifecycle},
        {"hook_watchdog", HookWatchdog}, {"tray_balloon", TrayBalloon},
        {"tray_menu", TrayMenu},         {"picture", Picture}};
    for (const auto& test : tests) {
        if (argc == 2 && strcmp(argv[1], test.first) == 0) {
            test.second();
            // A new thread takes Caps Lock's toggle from the desktop only once it types it: the
            // next test starts with it off, as every test does.
            SetCapsLock(false);
            printf("%s: %d failure(s)\n", argv[1], failures);
            return failures == 0 ? 0 : 1;
        }
    }
    printf("usage: %s TEST\n", argv[0]);
    return 2;
}
