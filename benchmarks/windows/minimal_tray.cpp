// The least a tray program does: registers a class, creates a window of the program's size,
// adds a tray icon and waits in its message loop. The baseline of the start-up and footprint
// benchmarks, which drive it with the program's own command numbers: 410 shows or hides the
// window, 430 removes the icon and ends.
#include <windows.h>
#include <shellapi.h>

namespace {

UINT const WM_TRAYNOTIFY = WM_USER + 1;
UINT const kTrayIconId = 202;
UINT const kToggleWindow = 410;
UINT const kExit = 430;

NOTIFYICONDATAA trayIcon{};

LRESULT CALLBACK MinimalWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kToggleWindow) {
            ShowWindow(window, IsWindowVisible(window) ? SW_HIDE : SW_SHOW);
            UpdateWindow(window);
        } else if (LOWORD(wParam) == kExit) {
            Shell_NotifyIconA(NIM_DELETE, &trayIcon);
            DestroyWindow(window);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MinimalWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = "MinimalTray";
    if (RegisterClassA(&windowClass) == 0) {
        return 0;
    }
    HWND window = CreateWindowExA(0, "MinimalTray", "MinimalTray", WS_OVERLAPPEDWINDOW, 0, 0, 973,
                                  497, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 0;
    }
    trayIcon.cbSize = NOTIFYICONDATAA_V2_SIZE;
    trayIcon.hWnd = window;
    trayIcon.uID = kTrayIconId;
    trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIcon.uCallbackMessage = WM_TRAYNOTIFY;
    trayIcon.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    lstrcpynA(trayIcon.szTip, "MinimalTray", sizeof trayIcon.szTip);
    Shell_NotifyIconA(NIM_ADD, &trayIcon);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
