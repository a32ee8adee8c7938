// The notification-area icon: its one record, its picture and its balloon.
#pragma once

#include <windows.h>
#include <shellapi.h>

// Loads the pictures for translation off, on, and on with Caps Lock on, from app.instance.
void LoadTrayIcons();

UINT_PTR const ID_TRAY_RETRY_TIMER = 2;
UINT_PTR const ID_CAPS_LOCK_TIMER = 3;

// Fills app.trayData for app.mainWindow and adds the icon to the shell. Also used when the
// shell restarts and the icon has to be added again. A shell not yet ready (at sign-in) refuses
// the icon: then it is tried again a little later, until it is taken.
void AddTrayIcon();

// WM_TIMER of ID_TRAY_RETRY_TIMER.
void RetryTrayIcon();

// Puts the picture that matches app.translationOn and Caps Lock into app.trayData; the caller
// tells the shell.
void RefreshTrayIcon();

// Called by the hook when Caps Lock may have changed: the picture follows it once the input
// already queued has been read. Sets a timer, and waits on nothing.
void FollowCapsLockSoon();

// WM_TIMER of ID_CAPS_LOCK_TIMER: shows the picture for Caps Lock as it is now, telling the shell
// only when the picture changes.
void FollowCapsLock();

// WM_HINTBALLOON: the echo mode's reminder to turn Caps Lock on, or none.
void ShowCapsLockHint(bool show);

// 0 when the shell accepted the balloon, -1 when it refused. An empty text takes a showing
// balloon down.
int ShowTrayBalloon(NOTIFYICONDATAA& record, const char* text);
