#include <windows.h>

#include "picture/keyboard_window.h"
#include "shell/app_state.h"
#include "shell/lifetime.h"
#include "shell/main_window.h"
#include "shell/running_copy.h"
#include "shell/settings.h"
#include "shell/tray_icon.h"
#include "translation/keyboard_hook.h"
#include "translation/layout.h"

namespace {

// A folder such as Downloads takes files from any web page: a DLL planted beside the program
// must never load into it, so DLLs come from the system folder only. GDI+, which is no KnownDLL,
// is delay-loaded so that its first use comes after this. Looked up, so that a Windows 7 without
// the call still starts the program.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    const auto restrict = reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (restrict != nullptr) {
        restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}

WPARAM RunMessageLoop() {
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return message.wParam;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int) {
    RestrictDllSearch();
    if (IsExitCommand(commandLine)) {
        ExitRunningCopies();
        return 0;
    }
    // Two copies would translate each key twice and leave "Disabled" in one of them useless.
    if (!ClaimOnlyCopy()) {
        ShowRunningCopy();
        return 0;
    }
    app.instance = instance;
    LoadSettings();
    BuildLayout(app.LayoutTable);
    if (previousInstance == nullptr && !RegisterMainWindowClass()) {
        return 0;
    }
    if (!CreateMainWindow()) {
        return 0;
    }
    LoadTrayIcons();
    LoadKeyboardImage();
    // The hook before the icon: once the icon shows, keys translate.
    if (app.translationOn != 0) {
        EnableTranslation();
    }
    AddTrayIcon();
    if (app.viewKeyboard != 0) {
        ShowKeyboardWindow();
    }
    const WPARAM result = RunMessageLoop();
    ShutDown();
    return static_cast<int>(result);
}
