// The Windows side of the end-to-end drivers.
//   probe run LOG   the application a person types into: its window takes the keys, its own
//                   low-level hook, installed before qelvaro.exe's and so called after it, logs
//                   every key event that gets past qelvaro ("K d|u vk scan flags"), and the
//                   window logs each character it receives ("C code"); numbers in hex.
//   probe window    qelvaro's window: visible topmost iconic zoomed, then its client area on
//                   the screen (left top right bottom)
//   probe gdi [CLASS]   the number of GDI objects qelvaro's process holds (or the process of
//                   the window of that class)
//   probe menu KEY ROUNDS   the tray menu opened as a click on the icon opens it and closed by
//                   a key (in hex: an item's mnemonic as a character, or 1b for Escape),
//                   ROUNDS times
//   probe icon | drop-icon | taskbar-created   whether the shell holds qelvaro's tray icon; the
//                   icon taken away; the shell's restart announced to every window
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

FILE* logFile;
HHOOK hook;

LRESULT CALLBACK LogKey(int code, WPARAM wParam, LPARAM lParam) {
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (code == HC_ACTION) {
        const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        fprintf(logFile, "K %c %lx %lx %lx\n", down ? 'd' : 'u', key->vkCode, key->scanCode,
                key->flags);
        fflush(logFile);
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

LRESULT CALLBACK ProbeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CHAR) {
        fprintf(logFile, "C %x\n", static_cast<unsigned>(wParam));
        fflush(logFile);
        return 0;
    }
    // A lone Alt press would put the window in menu mode, which eats the keys that follow.
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_KEYMENU) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int RunProbe(const char* path) {
    logFile = fopen(path, "w");
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ProbeWndProc;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"QelvaroProbe";
    RegisterClassW(&windowClass);
    // A Unicode window, so that characters arrive as UTF-16 rather than '?'.
    HWND window = CreateWindowExW(0, L"QelvaroProbe", L"Qelvaro probe", WS_POPUP | WS_VISIBLE, 300,
                                  600, 400, 200, nullptr, nullptr, nullptr, nullptr);
    hook = SetWindowsHookExA(WH_KEYBOARD_LL, LogKey, GetModuleHandleA(nullptr), 0);
    SetForegroundWindow(window);
    fprintf(logFile, "ready\n");
    fflush(logFile);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// GetGuiResources is a stub under Wine: count the process's entries in the GDI handle table the
// PEB points to (GdiSharedHandleTable), 65536 entries of 24 bytes with the type in byte 12.
long GdiObjects(HANDLE process) {
    PROCESS_BASIC_INFORMATION basic{};
    void* table = nullptr;
    std::vector<BYTE> entries(0x10000 * 24);
    const size_t offset = sizeof(void*) == 8 ? 0xF8 : 0x94;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                  nullptr) != 0 ||
        !ReadProcessMemory(process, reinterpret_cast<BYTE*>(basic.PebBaseAddress) + offset, &table,
                           sizeof table, nullptr) ||
        !ReadProcessMemory(process, table, entries.data(), entries.size(), nullptr)) {
        return -1;
    }
    long count = 0;
    for (size_t entry = 0; entry < 0x10000; ++entry) {
        count += entries[entry * 24 + 12] != 0 ? 1 : 0;
    }
    return count;
}

HWND ShownMenu(DWORD thread) {
    HWND menu = FindWindowA("#32768", nullptr);
    while (menu != nullptr &&
           !(IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == thread)) {
        menu = FindWindowExA(nullptr, menu, "#32768", nullptr);
    }
    return menu;
}

bool WaitForMenu(DWORD thread, bool shown) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(1)) {
        if ((ShownMenu(thread) != nullptr) == shown) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    HWND window = FindWindowA("Qelvaro", "Qelvaro");
    NOTIFYICONDATAA icon{};
    icon.cbSize = NOTIFYICONDATAA_V2_SIZE;
    icon.hWnd = window;
    icon.uID = 202;
    if (command == "run" && argc == 3) {
        return RunProbe(argv[2]);
    }
    if (window == nullptr && command != "taskbar-created") {
        return 1;
    }
    if (command == "window") {
        RECT client{};
        GetClientRect(window, &client);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
        printf("%d %d %d %d %ld %ld %ld %ld\n", IsWindowVisible(window) ? 1 : 0,
               (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0 ? 1 : 0,
               IsIconic(window) ? 1 : 0, IsZoomed(window) ? 1 : 0, client.left, client.top,
               client.right, client.bottom);
    } else if (command == "gdi") {
        DWORD id = 0;
        GetWindowThreadProcessId(argc == 3 ? FindWindowA(argv[2], nullptr) : window, &id);
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
        printf("%ld\n", process != nullptr ? GdiObjects(process) : -1);
    } else if (command == "menu" && argc == 4) {
        const DWORD thread = GetWindowThreadProcessId(window, nullptr);
        for (int round = atoi(argv[3]); round > 0; --round) {
            PostMessageA(window, WM_USER + 1, 202, WM_RBUTTONDOWN);
            // A menu takes its mnemonics as characters and Escape as a key.
            const unsigned key = strtoul(argv[2], nullptr, 16);
            if (!WaitForMenu(thread, true) ||
                !PostMessageA(ShownMenu(thread), key < 0x20 ? WM_KEYDOWN : WM_CHAR, key, 0) ||
                !WaitForMenu(thread, false)) {
                return 1;
            }
        }
    } else if (command == "icon") {
        // Modifying nothing succeeds only while the shell holds the icon.
        printf("%d\n", Shell_NotifyIconA(NIM_MODIFY, &icon) ? 1 : 0);
    } else if (command == "drop-icon") {
        Shell_NotifyIconA(NIM_DELETE, &icon);
    } else if (command == "taskbar-created") {
        PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    }
    return 0;
}
