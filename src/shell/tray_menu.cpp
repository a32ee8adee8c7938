#include "shell/tray_menu.h"

#include "picture/help_dialog.h"
#include "picture/keyboard_window.h"
#include "resource.h"
#include "shell/app_state.h"
#include "shell/settings.h"
#include "translation/keyboard_hook.h"

namespace {

void AppendItem(UINT id, const char* text, bool checked) {
    InsertMenuA(app.trayMenu, static_cast<UINT>(-1), MF_BYPOSITION | (checked ? MF_CHECKED : 0), id,
                text);
}

void AppendSeparator() {
    // Without MF_BYPOSITION, -1 names no existing item, so the separator goes to the end.
    InsertMenuA(app.trayMenu, static_cast<UINT>(-1), MF_SEPARATOR, IDM_SEPARATOR, "");
}

void SwitchTranslationOn(int32_t echoMode) {
    if (app.translationOn == 0) {
        EnableTranslation();
    }
    app.echoMode = echoMode;
    SaveSettings();
}

} // namespace

bool OpenTrayMenuOnClick(UINT mouseMessage) {
    if (mouseMessage != WM_LBUTTONDOWN && mouseMessage != WM_RBUTTONDOWN) {
        return false;
    }
    ShowTrayMenu();
    return true;
}

void ShowTrayMenu() {
    POINT cursor{};
    GetCursorPos(&cursor);
    // One menu per click; the last one is released first so repeated clicks leak nothing.
    if (app.trayMenu != nullptr) {
        DestroyMenu(app.trayMenu);
    }
    app.trayMenu = CreatePopupMenu();
    // The check marks follow the hook itself: a failed installation shows as disabled.
    AppendItem(IDM_DISABLED, "&Disabled", app.hook == nullptr);
    AppendItem(IDM_ENABLED, "&Enabled", app.hook != nullptr && app.echoMode == 0);
    AppendSeparator();
    AppendItem(IDM_VIEW_KEYBOARD, "View &Keyboard", app.viewKeyboard != 0);
    AppendItem(IDM_ALWAYS_ON_TOP, "Keyboard Always on &Top", app.alwaysOnTop != 0);
    AppendSeparator();
    AppendItem(IDM_HELP, "&Help", false);
    AppendItem(IDM_EXIT, "E&xit", false);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(app.mainWindow);
    TrackPopupMenu(app.trayMenu, TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, app.mainWindow, nullptr);
    // TrackPopupMenu's documented remark: without it the menu, shown again while the window is in
    // front, can close the moment it opens.
    PostMessageA(app.mainWindow, WM_NULL, 0, 0);
}

bool OpenMenuInWindow(HWND window, LPARAM where) {
    // (-1, -1) comes from the keyboard.
    if (where != -1 && SendMessageA(window, WM_NCHITTEST, 0, where) != HTCLIENT) {
        return false;
    }
    ShowTrayMenu();
    return true;
}

void RunTrayCommand(UINT command) {
    switch (command) {
    case IDM_DISABLED:
        DisableTranslation();
        app.echoMode = 0;
        SaveSettings();
        break;
    case IDM_ENABLED: SwitchTranslationOn(0); break;
    case IDM_ENABLED_ECHO: SwitchTranslationOn(1); break;
    case IDM_VIEW_KEYBOARD:
        if (app.viewKeyboard != 0) {
            HideKeyboardWindow();
        } else {
            ShowKeyboardWindow();
        }
        SaveSettings();
        break;
    case IDM_ALWAYS_ON_TOP:
        app.alwaysOnTop = app.alwaysOnTop == 0 ? 1 : 0;
        if (app.viewKeyboard != 0) {
            ShowKeyboardWindow();
        }
        SaveSettings();
        break;
    case IDM_HELP:
        DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_HELP), app.mainWindow, HelpDlgProc, 0);
        break;
    case IDM_EXIT:
        Shell_NotifyIconA(NIM_DELETE, &app.trayData);
        DestroyWindow(app.mainWindow);
        break;
    default: break;
    }
}
