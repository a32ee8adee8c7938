// The tray icon's popup menu and the commands it sends back.
#pragma once

#include <windows.h>

// Opens the menu for a button press on the icon; false for any other mouse message.
bool OpenTrayMenuOnClick(UINT mouseMessage);
void ShowTrayMenu();
// WM_CONTEXTMENU of the picture window: the same menu, for a right click in the picture or the
// keyboard's menu key; false where the title bar keeps its own.
bool OpenMenuInWindow(HWND window, LPARAM where);
void RunTrayCommand(UINT command);
