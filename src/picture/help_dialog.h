// The modal Help dialog, built from the IDD_HELP template.
#pragma once

#include <windows.h>

INT_PTR CALLBACK HelpDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
