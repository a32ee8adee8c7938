// The application a person types into during the end-to-end tests. It owns the foreground
// window, records every WM_CHAR it receives and, through its own low-level hook installed before
// qelvaro.exe starts (so called after qelvaro's hook), every key event that gets past qelvaro.
// The window is a Unicode one, so characters arrive as UTF-16, not as '?'.
// Usage: probe.exe LOGFILE. Lines: "ready", "K <d|u> vk scan flags extra", "C code", "S code"
// (WM_SYSCHAR), all numbers in hex.
#include <windows.h>

#include <cstdio>

namespace {

FILE* logFile = nullptr;
HHOOK hook = nullptr;

void Log(const char* format, unsigned a, unsigned b = 0, unsigned c = 0, unsigned d = 0,
         unsigned e = 0) {
    fprintf(logFile, format, a, b, c, d, e);
    fputc('\n', logFile);
    fflush(logFile);
}

LRESULT CALLBACK RecordKey(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        Log("K %c %02x %04x %02x %x", down ? 'd' : 'u', key->vkCode, key->scanCode, key->flags,
            static_cast<unsigned>(key->dwExtraInfo));
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

// Answers for the test driver, which cannot call Win32 itself: the modifiers' physical state.
void LogModifierState() {
    const int keys[] = {VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU};
    unsigned down = 0;
    for (unsigned i = 0; i < 6; ++i) {
        if (GetAsyncKeyState(keys[i]) & 0x8000) {
            down |= 1u << i;
        }
    }
    Log("M %02x", down);
}

UINT const WM_PROBE_REPORT_MODIFIERS = WM_APP + 1;

LRESULT CALLBACK ProbeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CHAR: Log("C %04x", static_cast<unsigned>(wParam)); return 0;
    case WM_SYSCHAR: Log("S %04x", static_cast<unsigned>(wParam)); return 0;
    case WM_PROBE_REPORT_MODIFIERS: LogModifierState(); return 0;
    case WM_SYSCOMMAND:
        // A lone Alt press and release would put the window into menu mode and eat the keys
        // that follow; the tests press Alt on its own often.
        if ((wParam & 0xFFF0) == SC_KEYMENU) {
            return 0;
        }
        break;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    logFile = fopen(argv[1], "w");
    if (logFile == nullptr) {
        return 3;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ProbeWndProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"QelvaroProbe";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"QelvaroProbe", L"Qelvaro probe", WS_OVERLAPPEDWINDOW, 300,
                                  600, 400, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    hook = SetWindowsHookExA(WH_KEYBOARD_LL, RecordKey, GetModuleHandleA(nullptr), 0);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);
    Log("ready %x", hook != nullptr);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    UnhookWindowsHookEx(hook);
    fclose(logFile);
    return 0;
}
