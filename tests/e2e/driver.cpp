// The end-to-end cases' hands and eyes on any Windows desktop, Wine's or Windows' own. Commands
// come one a line on standard input and are answered one a line; TITLE, the rest of the line,
// names the shown window of that exact title, else a hidden one; "none" when there is none.
//   key SCAN 1|0           a key pressed or released (SCAN 0xE0nn: an extended key)
//   caps                   1 while Caps Lock is on, else 0
//   click X Y left|right   a click at that point of the screen
//   front                  the class of the window in front
//   window TITLE           "X Y WIDTH HEIGHT SHOWN HANDLE"
//   move X Y W H TITLE     the window moved there, at that size
//   shot FILE TITLE|tray   the window, or Qelvaro's tray icon, written to FILE as a 32-bit BMP
//   text TITLE             the text of the window's edit control, UTF-16LE in hex
// "e2e_driver pad" is a window of its own to type into, until it is closed.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

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

void Send(DWORD type, WORD virtualKey, WORD scan, DWORD flags) {
    INPUT input{};
    input.type = type;
    if (type == INPUT_MOUSE) {
        input.mi.dwFlags = flags;
    } else {
        input.ki = {virtualKey, scan, flags, 0, 0};
    }
    SendInput(1, &input, sizeof input);
}

bool TrayIconRect(RECT& rect) {
    NOTIFYICONIDENTIFIER icon{sizeof icon, FindWindowA("Qelvaro", "Qelvaro"), 202 /* its id */, {}};
    if (icon.hWnd != nullptr && SUCCEEDED(Shell_NotifyIconGetRect(&icon, &rect))) {
        return true;
    }
    // Wine's tray keeps no rectangles: its window holds the one icon.
    HWND tray = FindWindowA(nullptr, "Wine System Tray");
    return tray != nullptr && GetWindowRect(tray, &rect) && !IsRectEmpty(&rect);
}

bool WriteBitmap(const RECT& rect, const char* path) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof file + sizeof(BITMAPINFOHEADER)};
    BITMAPINFOHEADER info{sizeof info, width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::string bytes(file.bfOffBits + width * height * 4, '\0');
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);
    const bool read = GetDIBits(memory, bitmap, 0, height, &bytes[file.bfOffBits],
                                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    file.bfSize = static_cast<DWORD>(bytes.size());
    memcpy(&bytes[0], &file, sizeof file);
    memcpy(&bytes[sizeof file], &info, sizeof info);
    FILE* out = read ? fopen(path, "wb") : nullptr;
    const bool written = out != nullptr && fwrite(bytes.data(), bytes.size(), 1, out) == 1;
    return out != nullptr && fclose(out) == 0 && written;
}

std::string Run(const char* line) {
    char command[16] = {}, word[MAX_PATH] = {};
    int x = 0, y = 0, width = 0, height = 0, used = 0;
    sscanf(line, "%15s %n", command, &used);
    const std::string name = command;
    const char* title = line + used; // the rest of the line
    if (name == "key" && sscanf(title, "%i %d", &x, &y) == 2) {
        // Windows takes the key from the scan code; Wine 8 takes the virtual key as given.
        Send(INPUT_KEYBOARD, static_cast<WORD>(MapVirtualKeyA(x, MAPVK_VSC_TO_VK_EX)), x & 0xFF,
             KEYEVENTF_SCANCODE | (x > 0xFF ? KEYEVENTF_EXTENDEDKEY : 0) |
                 (y ? 0 : KEYEVENTF_KEYUP));
        return "ok";
    }
    if (name == "caps") {
        MSG message; // a thread without a message queue reads no key state
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
        return (GetKeyState(VK_CAPITAL) & 1) != 0 ? "1" : "0";
    }
    if (name == "click" && sscanf(title, "%d %d %15s", &x, &y, word) == 3) {
        const bool right = strcmp(word, "right") == 0;
        SetCursorPos(x, y);
        Send(INPUT_MOUSE, 0, 0, right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
        Send(INPUT_MOUSE, 0, 0, right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
        return "ok";
    }
    if (name == "front") {
        GetClassNameA(GetForegroundWindow(), word, sizeof word);
        return word;
    }
    RECT rect{};
    if (name == "move" && sscanf(title, "%d %d %d %d %n", &x, &y, &width, &height, &used) == 4) {
        title += used;
    }
    if (name == "shot" && sscanf(title, "%259s %n", word, &used) == 1) {
        title += used;
    }
    if (name == "shot" && strcmp(title, "tray") == 0) {
        return TrayIconRect(rect) && WriteBitmap(rect, word) ? "ok" : "none";
    }
    HWND window = FindTitled(title);
    HWND edit = FindWindowExA(window, nullptr, "Edit", nullptr);
    if (window == nullptr || !GetWindowRect(window, &rect)) {
        return "none";
    }
    if (name == "window") {
        snprintf(word, sizeof word, "%ld %ld %ld %ld %d %p", rect.left, rect.top,
                 rect.right - rect.left, rect.bottom - rect.top, IsWindowVisible(window) ? 1 : 0,
                 static_cast<void*>(window));
        return word;
    }
    if (name == "move" &&
        SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE)) {
        return "ok";
    }
    if (name == "shot" && IsWindowVisible(window) && WriteBitmap(rect, word)) {
        return "ok";
    }
    if (name != "text" || edit == nullptr) {
        return "none";
    }
    // Another process's control: WM_GETTEXT reads its contents, GetWindowText only a caption.
    static wchar_t text[4096];
    const LRESULT length = SendMessageW(edit, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    std::string hex;
    for (LRESULT i = 0; i < length; ++i) {
        snprintf(word, sizeof word, "%02x%02x", text[i] & 0xFF, text[i] >> 8);
        hex += word;
    }
    return hex;
}

// A plain application: a Unicode window (an ANSI one would take syllabics as "?") with an edit
// control larger than the window will ever be, Ctrl+A selecting all as editors do.
int Pad() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = L"QelvaroTestPad";
    RegisterClassW(&windowClass);
    HWND window =
        CreateWindowExW(0, L"QelvaroTestPad", L"Qelvaro test pad", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                        200, 420, 600, 250, nullptr, nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 4000,
                                4000, window, nullptr, nullptr, nullptr);
    MSG message;
    while (IsWindow(window) && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_KEYDOWN && message.wParam == 'A' && GetKeyState(VK_CONTROL) < 0) {
            SendMessageW(edit, EM_SETSEL, 0, -1);
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
    for (char line[1024]; fgets(line, sizeof line, stdin) != nullptr; fflush(stdout)) {
        line[strcspn(line, "\r\n")] = '\0';
        puts(Run(line).c_str());
    }
    return 0;
}
