// The application typed into in the reliability runs. Its own low-level hook, installed before
// qelvaro's and so called after it, logs each key event that got past qelvaro:
// "K d|u vk scan flags". Its window is in front, as a person's application would be.
//   key_log LOG
#include <windows.h>

#include <cstdio>

namespace {

FILE* logFile;

LRESULT CALLBACK LogKey(int code, WPARAM wParam, LPARAM lParam) {
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    fprintf(logFile, "K %c %lx %lx %lx\n",
            wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN ? 'd' : 'u', key->vkCode, key->scanCode,
            key->flags);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK LogWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A lone Alt press would put the window in menu mode, which eats the keys that follow.
    const bool keyMenu = message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_KEYMENU;
    return keyMenu ? 0 : DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || (logFile = fopen(argv[1], "w")) == nullptr) {
        return 2;
    }
    setvbuf(logFile, nullptr, _IONBF, 0);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = LogWndProc;
    windowClass.lpszClassName = L"QelvaroKeyLog";
    RegisterClassW(&windowClass);
    SetForegroundWindow(CreateWindowExW(0, L"QelvaroKeyLog", L"Qelvaro key log",
                                        WS_POPUP | WS_VISIBLE, 300, 600, 400, 200, nullptr, nullptr,
                                        nullptr, nullptr));
    SetWindowsHookExA(WH_KEYBOARD_LL, LogKey, GetModuleHandleA(nullptr), 0);
    fprintf(logFile, "ready\n");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
