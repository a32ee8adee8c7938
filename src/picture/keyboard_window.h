// The picture window: the main window, when shown, displays the layout picture.
#pragma once

#include <windows.h>

void ShowKeyboardWindow();
void HideKeyboardWindow();

// Handlers of MainWndProc; the procedure does the default processing that follows.
void PaintKeyboardWindow(HWND window);
void RepaintAfterSize(HWND window, WPARAM sizeType);
void EnforceMinimumSize(HWND window, WPARAM edge, RECT* proposed);
void HideOnMinimize(WPARAM command);
