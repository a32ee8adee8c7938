// The low-level keyboard hook and the injection of what it types in place of a key press.
#pragma once

#include <windows.h>

LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam);

void EnableTranslation();
void DisableTranslation();
