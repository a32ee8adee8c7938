// The Windows side of the end-to-end drivers, one command per run.
//   run LOG     the application a person types into. Its own low-level hook, installed before
//               qelvaro's and so called after it, logs each key event that got past qelvaro,
//               "K d|u vk scan flags". Its window is in front, as a person's application would be.
//   window      qelvaro's window: visible topmost iconic zoomed, its client area on the screen
//   menu KEY N  N times: the tray menu opened by a click on the icon in the tray, then closed by a
//               key (hex: a mnemonic's character, or 1b for Escape)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

FILE* logFile;

LRESULT CALLBACK LogKey(int code, WPARAM wParam, LPARAM lParam) {
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    fprintf(logFile, "K %c %lx %lx %lx\n",
            wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN ? 'd' : 'u', key->vkCode, key->scanCode,
            key->flags);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK ProbeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A lone Alt press would put the window in menu mode, which eats the keys that follow.
    const bool keyMenu = message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_KEYMENU;
    return keyMenu ? 0 : DefWindowProcW(window, message, wParam, lParam);
}

int RunProbe(const char* path) {
    logFile = fopen(path, "w");
    setvbuf(logFile, nullptr, _IONBF, 0);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ProbeWndProc;
    windowClass.lpszClassName = L"QelvaroProbe";
    RegisterClassW(&windowClass);
    SetForegroundWindow(CreateWindowExW(0, L"QelvaroProbe", L"Qelvaro probe", WS_POPUP | WS_VISIBLE,
                                        300, 600, 400, 200, nullptr, nullptr, nullptr, nullptr));
    SetWindowsHookExA(WH_KEYBOARD_LL, LogKey, GetModuleHandleA(nullptr), 0);
    fprintf(logFile, "ready\n");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// Whether the tray menu of qelvaro's thread comes to be shown (or gone), within 5 s.
bool WaitForMenu(DWORD thread, bool shown, HWND* menu) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(1)) {
        *menu = FindWindowA("#32768", nullptr);
        while (*menu != nullptr &&
               !(IsWindowVisible(*menu) && GetWindowThreadProcessId(*menu, nullptr) == thread)) {
            *menu = FindWindowExA(nullptr, *menu, "#32768", nullptr);
        }
        if ((*menu != nullptr) == shown) {
            return true;
        }
    }
    return false;
}

// A right click on qelvaro's icon, the only one in Wine's stand-alone tray: the shell hands it on
// as the icon's callback message.
bool ClickTrayIcon() {
    HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
    HWND icon = tray != nullptr ? ChildWindowFromPoint(tray, POINT{8, 8}) : nullptr;
    return icon != nullptr && icon != tray &&
           PostMessageA(icon, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(8, 8));
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    HWND window = FindWindowA("Qelvaro", "Qelvaro"), menu = nullptr;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (command == "run" && argc == 3) {
        return RunProbe(argv[2]);
    } else if (window == nullptr) {
        return 1;
    } else if (command == "window") {
        RECT client{};
        GetClientRect(window, &client);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
        printf("%d %d %d %d %ld %ld %ld %ld\n", IsWindowVisible(window),
               (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, IsIconic(window),
               IsZoomed(window), client.left, client.top, client.right, client.bottom);
    } else if (command == "menu" && argc == 4) {
        // A menu takes its mnemonics as characters and Escape as a key.
        const unsigned key = strtoul(argv[2], nullptr, 16);
        for (int round = atoi(argv[3]); round > 0; --round) {
            if (!ClickTrayIcon() || !WaitForMenu(thread, true, &menu) ||
                !PostMessageA(menu, key < 0x20 ? WM_KEYDOWN : WM_CHAR, key, 0) ||
                !WaitForMenu(thread, false, &menu)) {
                return 1;
            }
        }
    }
    return 0;
}
