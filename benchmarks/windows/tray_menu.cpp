// Opens qelvaro's tray menu as the shell does on a right click of its icon, and closes it by a key.
//   tray_menu KEY ROUNDS   KEY in hex: a mnemonic's character, or 1b for Escape
// Exits 0 once every round's menu has been shown and has gone again.
#include <windows.h>

#include <cstdlib>

namespace {

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
    const DWORD thread = GetWindowThreadProcessId(FindWindowA("Qelvaro", "Qelvaro"), nullptr);
    if (argc != 3 || thread == 0) {
        return 1;
    }
    // A menu takes its mnemonics as characters and Escape as a key.
    const unsigned key = strtoul(argv[1], nullptr, 16);
    HWND menu = nullptr;
    for (int round = atoi(argv[2]); round > 0; --round) {
        if (!ClickTrayIcon() || !WaitForMenu(thread, true, &menu) ||
            !PostMessageA(menu, key < 0x20 ? WM_KEYDOWN : WM_CHAR, key, 0) ||
            !WaitForMenu(thread, false, &menu)) {
            return 1;
        }
    }
    return 0;
}
