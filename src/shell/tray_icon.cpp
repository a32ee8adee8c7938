#include "tray_icon.h"

#include "resource.h"
#include "shell/app_state.h"
#include "shell/string_copy.h"

namespace {

UINT const kTrayRetryMs = 3000;

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
}

void RefreshTrayIcon() {
    app.trayData.hIcon = app.translationOn != 0 ? app.iconOn : app.iconOff;
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
