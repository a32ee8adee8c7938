// The one top-level window: the picture window, and the target of the tray icon's messages.
#pragma once

#include <windows.h>

char const kMainWindowClass[] = "Qelvaro";
char const kMainWindowTitle[] = "Qelvaro";

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Both report failure by returning false; start-up ends then.
bool RegisterMainWindowClass();
bool CreateMainWindow();
