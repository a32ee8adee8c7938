#include "shell/main_window.h"

#include "picture/keyboard_window.h"
#include "resource.h"
#include "shell/app_state.h"
#include "shell/tray_icon.h"
#include "shell/tray_menu.h"
#include "translation/hook_watchdog.h"

namespace {

int const kInitialWidth = 973;
int const kInitialHeight = 497;

// Broadcast by the shell when it starts, also after Explorer crashed: every tray icon is gone
// then and must be added again, or the user could no longer switch translation off or exit.
UINT taskbarCreatedMessage = 0;

// Windows keeps broadcasts of lower integrity from an elevated window: a copy run as
// administrator would never hear that the shell restarted, and its icon would stay gone. Looked up,
// so that Windows without the call still starts the program.
void AllowShellRestartMessage() {
    using ChangeWindowMessageFilterExCall = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    const auto allow = reinterpret_cast<ChangeWindowMessageFilterExCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx")));
    if (allow != nullptr) {
        allow(app.mainWindow, taskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
    }
}

} // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_SIZE: RepaintAfterSize(window, wParam); break;
    case WM_PAINT: PaintKeyboardWindow(window); break;
    case WM_CLOSE: HideKeyboardWindow(); return 0;
    case WM_COMMAND: RunTrayCommand(LOWORD(wParam)); break;
    case WM_SYSCOMMAND: HideOnMinimize(wParam); break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: SetForegroundWindow(window); return 0;
    case WM_SIZING: EnforceMinimumSize(window, wParam, reinterpret_cast<RECT*>(lParam)); return 0;
    case WM_TIMER:
        if (wParam == ID_TRAY_RETRY_TIMER) {
            RetryTrayIcon();
        }
        if (wParam == ID_CAPS_LOCK_TIMER) {
            FollowCapsLock();
        }
        break;
    case WM_HOOKMISSEDKEYS: ReinstallMissedHook(); return 0;
    case WM_HINTBALLOON: ShowCapsLockHint(wParam != 0); return 0;
    case WM_CONTEXTMENU:
        // Where Windows hides the tray icon, the picture window still reaches the menu.
        if (OpenMenuInWindow(window, lParam)) {
            return 0;
        }
        break;
    case WM_SHOWKEYBOARD: ShowKeyboardWindow(); return 0;
    case WM_POWERBROADCAST: ReinstallAfterResume(wParam); break;
    case WM_TRAYNOTIFY:
        if (OpenTrayMenuOnClick(LOWORD(lParam))) {
            return 1;
        }
        break;
    default:
        if (message != 0 && message == taskbarCreatedMessage) {
            AddTrayIcon();
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterMainWindowClass() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = app.instance;
    windowClass.hIcon = LoadIconA(app.instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassA(&windowClass) != 0;
}

bool CreateMainWindow() {
    taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    app.mainWindow =
        CreateWindowExA(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0,
                        kInitialWidth, kInitialHeight, nullptr, nullptr, app.instance, nullptr);
    if (app.mainWindow == nullptr) {
        return false;
    }
    AllowShellRestartMessage();
    return true;
}
