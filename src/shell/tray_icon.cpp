#include "tray_icon.h"

#include "resource.h"
#include "shell/app_state.h"
#include "shell/string_copy.h"

namespace {

UINT const kTrayRetryMs = 3000;
char const kCapsLockReminder[] = "Please press [CAPS LOCK] to type in Sendrith";

} // namespace

void AddTrayIcon() {
    ZeroMemory(&app.trayData, sizeof app.trayData);
    // The version-2 record: shells of every age accept it, and it carries the balloon fields.
    app.trayData.cbSize = NOTIFYICONDATAA_V2_SIZE;
    app.trayData.hWnd = app.mainWindow;
    app.trayData.uID = ID_TRAY_ICON;
    app.trayData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    RefreshTrayIcon();
    app.trayData.uCallbackMessage = WM_TRAYNOTIFY;
    CopyStringBounded(app.trayData.szTip, "Qelvaro", sizeof app.trayData.szTip);
    if (!Shell_NotifyIconA(NIM_ADD, &app.trayData)) {
        SetTimer(app.mainWindow, ID_TRAY_RETRY_TIMER, kTrayRetryMs, nullptr);
    }
}

void RetryTrayIcon() {
    KillTimer(app.mainWindow, ID_TRAY_RETRY_TIMER);
    // An add that timed out may have been taken after all: then the icon is there to modify.
    if (Shell_NotifyIconA(NIM_MODIFY, &app.trayData) || Shell_NotifyIconA(NIM_ADD, &app.trayData)) {
        return;
    }
    SetTimer(app.mainWindow, ID_TRAY_RETRY_TIMER, kTrayRetryMs, nullptr);
}

void LoadTrayIcons() {
    app.iconOn = LoadIconA(app.instance, MAKEINTRESOURCEA(IDI_TRAY_ON));
    app.iconOff = LoadIconA(app.instance, MAKEINTRESOURCEA(IDI_TRAY_OFF));
    app.iconTyping = LoadIconA(app.instance, MAKEINTRESOURCEA(IDI_TRAY_TYPING));
}

void RefreshTrayIcon() {
    app.trayCapsLock = (GetKeyState(VK_CAPITAL) & 1) != 0 ? 1 : 0;
    if (app.translationOn == 0) {
        app.trayData.hIcon = app.iconOff;
        return;
    }
    app.trayData.hIcon = app.trayCapsLock != 0 ? app.iconTyping : app.iconOn;
}

void FollowCapsLockSoon() {
    // With a window of ours in front the Caps Lock key's own messages may still wait in the queue,
    // and GetKeyState turns only as they are read: a timer's message comes once no input waits.
    SetTimer(app.mainWindow, ID_CAPS_LOCK_TIMER, USER_TIMER_MINIMUM, nullptr);
}

void FollowCapsLock() {
    KillTimer(app.mainWindow, ID_CAPS_LOCK_TIMER);
    const HICON shown = app.trayData.hIcon;
    RefreshTrayIcon();
    if (app.trayData.hIcon != shown) {
        Shell_NotifyIconA(NIM_MODIFY, &app.trayData);
    }
}

void ShowCapsLockHint(bool show) {
    ShowTrayBalloon(app.trayData, show ? kCapsLockReminder : "");
}

int ShowTrayBalloon(NOTIFYICONDATAA& record, const char* text) {
    CopyStringBounded(record.szInfo, text, sizeof record.szInfo);
    const UINT flags = record.uFlags;
    record.uFlags = flags | NIF_INFO;
    record.uTimeout = 1000;
    const BOOL accepted = Shell_NotifyIconA(NIM_MODIFY, &record);
    // Later picture updates must not bring the balloon back.
    record.uFlags = flags;
    return accepted ? 0 : -1;
}
