// Sends the running qelvaro.exe what the shell or the tray menu would send, and reads what a
// person sees on the screen. One command per run; answers on standard output.
//   poke sync                    wait until the program's window answers (start-up is over)
//   poke post MESSAGE WPARAM LPARAM
//   poke foreground              the class name of the foreground window
//   poke notepad-text            the text Notepad holds, in UTF-8
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HWND FindProgramWindow(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    HWND window = nullptr;
    while ((window = FindWindowA("Qelvaro", "Qelvaro")) == nullptr &&
           GetTickCount() - start < timeoutMs) {
        Sleep(20);
    }
    return window;
}

int PrintNotepadText() {
    HWND notepad = FindWindowA("Notepad", nullptr);
    HWND edit = notepad != nullptr ? FindWindowExA(notepad, nullptr, "Edit", nullptr) : nullptr;
    if (edit == nullptr) {
        return 1;
    }
    // Another process's control: GetWindowText would give its caption, not its contents.
    wchar_t text[1024] = {};
    SendMessageW(edit, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    char utf8[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    fwrite(utf8, 1, strlen(utf8), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "foreground") {
        char name[64] = {};
        GetClassNameA(GetForegroundWindow(), name, sizeof name);
        printf("%s\n", name);
        return 0;
    }
    if (command == "notepad-text") {
        return PrintNotepadText();
    }
    if (command == "sync") {
        // The program answers a sent message once start-up waits on another thread or program,
        // which it first does in installing its hook.
        DWORD_PTR result = 0;
        HWND window = FindProgramWindow(60000);
        return window != nullptr &&
                       SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result)
                   ? 0
                   : 1;
    }
    if (command == "post" && argc == 5) {
        HWND window = FindProgramWindow(2000);
        return PostMessageA(window, static_cast<UINT>(strtoul(argv[2], nullptr, 0)),
                            strtoul(argv[3], nullptr, 0),
                            static_cast<LPARAM>(strtoul(argv[4], nullptr, 0)))
                   ? 0
                   : 1;
    }
    fprintf(stderr, "usage: poke sync | post MESSAGE WPARAM LPARAM | foreground | notepad-text\n");
    return 2;
}
