// The end-to-end cases' hands and eyes on any Windows desktop, Wine's or Windows' own. Commands
// come one a line on standard input and are answered one a line; TITLE, the rest of the line,
// names the shown window of that exact title, else a hidden one; "none" when there is none.
//   key SCAN 1|0           a key pressed or released (SCAN 0xE0nn: an extended key)
//   caps                   1 while Caps Lock is on, else 0
//   click X Y left|right   a click at that point of the screen
//   window TITLE           "X Y WIDTH HEIGHT SHOWN HANDLE"
//   move X Y W H TITLE     the window moved there, at that size
//   front [TITLE]          the window brought to the front; the class then in front
//   shot FILE [TITLE|tray] the window, Qelvaro's tray icon or the screen, as a 24-bit BMP
//   text TITLE             the text of the window's edit control, UTF-16LE in hex
//   clear TITLE            the edit control emptied
// "e2e_driver pad" is a window of its own to type into, until it is closed.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

UINT const kQelvaroTrayIcon = 202;

// The shown window of that title, else a hidden one: a program keeps its hidden windows.
HWND FindTitled(const char* title) {
    HWND found = nullptr;
    for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, nullptr, title));) {
        found = window;
        if (IsWindowVisible(window)) {
            break;
        }
    }
    return found;
}

void SendKey(unsigned scan, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    // Windows takes the key from the scan code; Wine 8 takes the virtual key as given.
    input.ki.wVk = static_cast<WORD>(MapVirtualKeyA(scan, MAPVK_VSC_TO_VK_EX));
    input.ki.wScan = static_cast<WORD>(scan & 0xFF);
    input.ki.dwFlags = KEYEVENTF_SCANCODE | (scan > 0xFF ? KEYEVENTF_EXTENDEDKEY : 0) |
                       (down ? 0 : KEYEVENTF_KEYUP);
    SendInput(1, &input, sizeof input);
}

void Click(int x, int y, bool right) {
    SetCursorPos(x, y);
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof inputs[0]);
}

std::string Front(HWND window) {
    // Windows lets a program not in front bring a window there only while it shares the input of
    // the thread in front. (Sharing it is not for Wine, where it resets that thread's key state.)
    const DWORD front = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    if (window != nullptr && !SetForegroundWindow(window) && front != 0 &&
        AttachThreadInput(GetCurrentThreadId(), front, TRUE)) {
        BringWindowToTop(window);
        SetForegroundWindow(window);
        AttachThreadInput(GetCurrentThreadId(), front, FALSE);
    }
    char name[64] = {};
    GetClassNameA(GetForegroundWindow(), name, sizeof name);
    return name;
}

bool TrayIconRect(RECT& rect) {
    NOTIFYICONIDENTIFIER icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = FindWindowA("Qelvaro", "Qelvaro");
    icon.uID = kQelvaroTrayIcon;
    if (icon.hWnd != nullptr && SUCCEEDED(Shell_NotifyIconGetRect(&icon, &rect))) {
        return true;
    }
    // Wine's tray keeps no rectangles: its window holds the one icon.
    HWND tray = FindWindowA(nullptr, "Wine System Tray");
    return tray != nullptr && GetWindowRect(tray, &rect) && !IsRectEmpty(&rect);
}

bool WriteBitmap(const RECT& rect, const char* path) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);
    BITMAPINFOHEADER header{sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD rowBytes = (width * 3 + 3) & ~3u;
    std::string pixels(rowBytes * height, '\0');
    const bool read = GetDIBits(memory, bitmap, 0, height, pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof header + pixels.size()),
                          0, 0, sizeof file + sizeof header};
    FILE* out = read ? fopen(path, "wb") : nullptr;
    if (out == nullptr) {
        return false;
    }
    fwrite(&file, sizeof file, 1, out);
    fwrite(&header, sizeof header, 1, out);
    fwrite(pixels.data(), 1, pixels.size(), out);
    return fclose(out) == 0;
}

std::string EditText(HWND edit) {
    // Another process's control: WM_GETTEXT reads its contents, GetWindowText only a caption.
    static wchar_t text[4096];
    const LRESULT length = SendMessageW(edit, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    std::string hex;
    char unit[8];
    for (LRESULT i = 0; i < length; ++i) {
        snprintf(unit, sizeof unit, "%02x%02x", text[i] & 0xFF, text[i] >> 8);
        hex += unit;
    }
    return hex;
}

std::string Run(const char* line) {
    char command[16] = {}, word[MAX_PATH] = {};
    int x = 0, y = 0, used = 0;
    if (sscanf(line, "%15s %n", command, &used) < 1) {
        return "none";
    }
    const std::string name = command;
    const char* title = line + used; // the rest of the line
    if (name == "key" && sscanf(title, "%i %d", &x, &y) == 2) {
        SendKey(static_cast<unsigned>(x), y != 0);
        return "ok";
    }
    if (name == "caps") {
        MSG message; // a thread without a message queue reads no key state
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
        return (GetKeyState(VK_CAPITAL) & 1) != 0 ? "1" : "0";
    }
    if (name == "click" && sscanf(title, "%d %d %15s", &x, &y, word) == 3) {
        Click(x, y, strcmp(word, "right") == 0);
        return "ok";
    }
    RECT rect{};
    int width = 0, height = 0;
    if (name == "move" && sscanf(title, "%d %d %d %d %n", &x, &y, &width, &height, &used) == 4) {
        title += used;
    }
    if (name == "shot" && sscanf(title, "%259s %n", word, &used) == 1) {
        title += used;
        const bool screen = *title == '\0' && GetWindowRect(GetDesktopWindow(), &rect);
        if (screen || strcmp(title, "tray") == 0) {
            return (screen || TrayIconRect(rect)) && WriteBitmap(rect, word) ? "ok" : "none";
        }
    }
    HWND window = *title != '\0' ? FindTitled(title) : nullptr;
    if (name == "front") {
        return Front(window);
    }
    if (window == nullptr) {
        return "none";
    }
    GetWindowRect(window, &rect);
    HWND edit = FindWindowExA(window, nullptr, "Edit", nullptr);
    if (name == "window") {
        snprintf(word, sizeof word, "%ld %ld %ld %ld %d %p", rect.left, rect.top,
                 rect.right - rect.left, rect.bottom - rect.top, IsWindowVisible(window) ? 1 : 0,
                 static_cast<void*>(window));
        return word;
    }
    if (name == "move") {
        return SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE)
                   ? "ok"
                   : "none";
    }
    if (name == "shot") {
        return IsWindowVisible(window) && WriteBitmap(rect, word) ? "ok" : "none";
    }
    if (name == "text" && edit != nullptr) {
        return EditText(edit);
    }
    if (name == "clear" && edit != nullptr) {
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
        return "ok";
    }
    return "none";
}

LRESULT CALLBACK PadProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 0, 0, window,
                        nullptr, nullptr, nullptr);
        return 0;
    case WM_SIZE:
        MoveWindow(GetWindow(window, GW_CHILD), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS: SetFocus(GetWindow(window, GW_CHILD)); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A plain application: a Unicode window (an ANSI one would take syllabics as "?") whose edit
// control takes what is typed, Ctrl+A selecting all as editors do.
int Pad() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = PadProc;
    windowClass.lpszClassName = L"QelvaroTestPad";
    RegisterClassW(&windowClass);
    HWND window =
        CreateWindowExW(0, L"QelvaroTestPad", L"Qelvaro test pad", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                        200, 420, 600, 250, nullptr, nullptr, nullptr, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_KEYDOWN && message.wParam == 'A' && GetKeyState(VK_CONTROL) < 0) {
            SendMessageW(GetWindow(window, GW_CHILD), EM_SETSEL, 0, -1);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "pad") == 0) {
        return Pad();
    }
    char line[1024];
    while (fgets(line, sizeof line, stdin) != nullptr) {
        line[strcspn(line, "\r\n")] = '\0';
        puts(Run(line).c_str());
        fflush(stdout);
    }
    return 0;
}
