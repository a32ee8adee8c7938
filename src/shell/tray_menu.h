// The tray icon's popup menu and the commands it sends back.
#pragma once

#include <windows.h>

// Opens the menu for a button press on the icon; false for any other mouse message.
bool OpenTrayMenuOnClick(UINT mouseMessage);
void ShowTrayMenu();
void RunTrayCommand(UINT command);
