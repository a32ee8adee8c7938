#include "settings.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdlib>

#include "shell/app_state.h"

namespace {

const char kSettingsKey[] = "Software\\Tarnwell\\Qelvaro";
const char kExplorerKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const char kWindowsVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char kNoticeCaption[] = "Qelvaro - Notice";

const char kHiddenIconNotice[] =
    "You can access Qelvaro through its icon the system tray (notification area, on the right of "
    "Windows taskbar).\n\nHowever, your system settings may hide this icon from time to time, "
    "which requires you to click on the tiny arrow in the system tray everytime you want to show "
    "the icon.\n\nIf you would rather have the icon displayed permanently, click YES below "
    "(requires a logout-login).";
const char kTraySettingUpdated[] = "System tray setting has been updated accordingly.\nPlease log "
                                   "out and log in again for this update to become effective.";
const char kTraySettingUnchanged[] = "System tray setting has NOT been changed";

// Leaves value alone unless the read succeeds.
void ReadDword(const char* subkey, const char* name, DWORD& value) {
    // Zeroed, so that a stored value shorter than four bytes still reads as a defined number.
    DWORD buffer = 0;
    DWORD size = sizeof buffer;
    if (SHGetValueA(HKEY_CURRENT_USER, subkey, name, nullptr, &buffer, &size) != ERROR_SUCCESS) {
        return;
    }
    value = buffer;
}

DWORD WriteDword(const char* subkey, const char* name, DWORD value) {
    return SHSetValueA(HKEY_CURRENT_USER, subkey, name, REG_DWORD, &value, sizeof value);
}

// Windows 11 (build 22000 on) ignores EnableAutoTray: only the user can promote an icon out of
// its overflow, so the offer would report a change that does nothing. The 64-bit view, where a
// 32-bit program would otherwise read a copy of the key.
bool RunningOnWindows11() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kWindowsVersionKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      &key) != ERROR_SUCCESS) {
        return false;
    }
    char build[16] = {};
    DWORD size = sizeof build - 1;
    DWORD type = 0;
    const LONG read = RegQueryValueExA(key, "CurrentBuildNumber", nullptr, &type,
                                       reinterpret_cast<BYTE*>(build), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_SZ && strtoul(build, nullptr, 10) >= 22000;
}

// A hidden icon leaves the user no way to reach the program, so offer to keep it shown.
void OfferPermanentTrayIcon() {
    if (RunningOnWindows11()) {
        return;
    }
    DWORD autoTray = 0;
    ReadDword(kExplorerKey, "EnableAutoTray", autoTray);
    if (autoTray == 0) {
        return;
    }
    if (MessageBoxA(nullptr, kHiddenIconNotice, kNoticeCaption, MB_YESNO) == IDYES &&
        WriteDword(kExplorerKey, "EnableAutoTray", 0) == ERROR_SUCCESS) {
        MessageBoxA(nullptr, kTraySettingUpdated, kNoticeCaption, MB_OK);
        return;
    }
    MessageBoxA(nullptr, kTraySettingUnchanged, kNoticeCaption, MB_OK);
}

} // namespace

void LoadSettings() {
    ReadDword(kSettingsKey, "State", app.translationOn);
    ReadDword(kSettingsKey, "ViewKeyboard", app.viewKeyboard);
    ReadDword(kSettingsKey, "KeyboardAlwaysOnTop", app.alwaysOnTop);
    OfferPermanentTrayIcon();
}

void SaveSettings() {
    WriteDword(kSettingsKey, "State", app.translationOn);
    WriteDword(kSettingsKey, "ViewKeyboard", app.viewKeyboard);
    WriteDword(kSettingsKey, "KeyboardAlwaysOnTop", app.alwaysOnTop);
}
